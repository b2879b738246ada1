#include <openssl/x509_vfy.h>

#include "platform/trust_store.h"

namespace tavrin::platform {

bool AddSystemTrustedRoots(x509_store_st* store) {
    // OpenSSL's own default locations: the distribution's bundle and hashed folder (or
    // SSL_CERT_FILE / SSL_CERT_DIR when set).
    return X509_STORE_set_default_paths(store) == 1;
}

}  // namespace tavrin::platform
