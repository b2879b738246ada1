#include <openssl/x509_vfy.h>

#include "platform/trust_store.h"

namespace tavrin::platform {

bool SystemVerifiesServerChains() {
    return false;
}

bool AddSystemTrustedRoots(x509_store_st* store) {
    // OpenSSL's own default locations: the distribution's bundle and hashed folder (or
    // SSL_CERT_FILE / SSL_CERT_DIR when set).
    return X509_STORE_set_default_paths(store) == 1;
}

bool VerifyServerChainWithSystem(const std::vector<std::string>&, int, std::string& error) {
    error = "OpenSSL verifies servers against the system's CA bundle here";
    return false;
}

}  // namespace tavrin::platform
