// The certificates this system trusts for TLS servers, added to an OpenSSL store: the
// distribution's CA bundle on POSIX, the "ROOT" certificate store on Windows.
#pragma once

struct x509_store_st;

namespace tavrin::platform {

// True when the store could be given the system's roots (it may still hold none).
bool AddSystemTrustedRoots(x509_store_st* store);

}  // namespace tavrin::platform
