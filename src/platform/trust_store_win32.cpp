#include <windows.h>
// wincrypt.h needs the declarations of windows.h before it.
#include <wincrypt.h>

#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstring>
#include <vector>

#include "platform/trust_store.h"

namespace tavrin::platform {
namespace {

// Windows lets an administrator narrow what a root is trusted for (a property set on the
// store entry, not in the certificate). A root narrowed to, say, code signing must not
// vouch for TLS servers here either.
bool TrustedForServers(PCCERT_CONTEXT cert) {
    DWORD size = 0;
    if (!CertGetEnhancedKeyUsage(cert, CERT_FIND_PROP_ONLY_ENHKEY_USAGE_FLAG, nullptr, &size)) {
        // No such property: trusted for whatever the certificate itself allows.
        return GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
    }
    std::vector<BYTE> buffer(size);
    auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
    // The answer for an empty list is read from the last error, so none may be left over.
    SetLastError(0);
    if (!CertGetEnhancedKeyUsage(cert, CERT_FIND_PROP_ONLY_ENHKEY_USAGE_FLAG, usage, &size)) {
        return false;
    }
    if (usage->cUsageIdentifier == 0) {
        // An empty list means all uses when Windows says "not found", and none otherwise.
        return GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
    }
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
        if (std::strcmp(usage->rgpszUsageIdentifier[i], szOID_PKIX_KP_SERVER_AUTH) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool AddSystemTrustedRoots(x509_store_st* store) {
    HCERTSTORE roots = CertOpenSystemStoreW(0, L"ROOT");
    if (roots == nullptr) {
        return false;
    }
    // Roots OpenSSL cannot parse, or that are already in the store, are skipped; their
    // errors must not linger in the queue for whoever looks at it next.
    ERR_set_mark();
    for (PCCERT_CONTEXT cert = CertEnumCertificatesInStore(roots, nullptr); cert != nullptr;
         cert = CertEnumCertificatesInStore(roots, cert)) {
        if (!TrustedForServers(cert)) {
            continue;
        }
        const unsigned char* der = cert->pbCertEncoded;
        X509* x509 = d2i_X509(nullptr, &der, static_cast<long>(cert->cbCertEncoded));
        if (x509 == nullptr) {
            continue;
        }
        X509_STORE_add_cert(store, x509);  // takes its own reference
        X509_free(x509);
    }
    ERR_pop_to_mark();
    CertCloseStore(roots, 0);
    return true;
}

}  // namespace tavrin::platform
