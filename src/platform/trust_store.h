// The certificates this system trusts for TLS servers. On POSIX OpenSSL verifies servers
// against the distribution's CA bundle, added to its store. On Windows the system's own
// chain engine decides during each handshake: Windows fetches roots on demand, so its
// "ROOT" store copied into OpenSSL would miss roots the system does trust.
#pragma once

#include <string>
#include <vector>

struct x509_store_st;

namespace tavrin::platform {

// True when servers' chains go to VerifyServerChainWithSystem rather than to OpenSSL's
// store (Windows).
bool SystemVerifiesServerChains();

// Where OpenSSL verifies: true when the store could be given the system's roots (it may
// still hold none). False where the system verifies chains itself.
bool AddSystemTrustedRoots(x509_store_st* store);

// Where the system verifies: true when the certificates a server sent (DER, its own first,
// then the intermediates it sent) chain to a root the system trusts for TLS servers, are
// within their dates and allowed for server authentication. The name is not checked here.
// Fetches the system makes (missing intermediates, roots) wait at most timeoutMs each.
// Otherwise false with the reason in `error`.
bool VerifyServerChainWithSystem(const std::vector<std::string>& derChainLeafFirst, int timeoutMs,
                                 std::string& error);

}  // namespace tavrin::platform
