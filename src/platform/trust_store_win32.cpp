// The chain engine's time-out for what it fetches is among CERT_CHAIN_PARA's later fields.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <windows.h>
// wincrypt.h needs the declarations of windows.h before it.
#include <wincrypt.h>
// The SSL policy's flags are WinINet's.
#include <wininet.h>

#include <cstdio>
#include <memory>

#include "platform/trust_store.h"

namespace tavrin::platform {
namespace {

struct StoreCloser {
    void operator()(void* store) const { CertCloseStore(store, 0); }
};
struct CertificateFreer {
    void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
struct ChainFreer {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
using StorePtr = std::unique_ptr<void, StoreCloser>;
using CertificatePtr = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;
using ChainPtr = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer>;

// What makes a chain unfit for a TLS server under any policy, in our own words: the
// system's messages come in the player's language and code page, which a log or a terminal
// may not show. Checked here before the SSL policy, which under Wine lets a chain pass that
// reaches no root at all, or whose leaf issued the next certificate. Time comes first: it
// is the fault a player can see and mend (the clock), and Wine at times marks an expired
// certificate's signature bad as well.
struct Fault {
    DWORD status;
    const char* text;
};
constexpr Fault kChainFaults[] = {
    {CERT_TRUST_IS_NOT_TIME_VALID,
     "the certificate or one of its issuers has expired or is not yet valid"},
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID, "a signature in the certificate chain does not verify"},
    {CERT_TRUST_IS_PARTIAL_CHAIN, "the certificate does not chain to a root the system trusts"},
    {CERT_TRUST_IS_UNTRUSTED_ROOT, "the certificate chains to a root the system does not trust"},
    {CERT_TRUST_IS_EXPLICIT_DISTRUST, "the system distrusts a certificate in the chain"},
    {CERT_TRUST_IS_REVOKED, "a certificate in the chain has been revoked"},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, "the certificate chain is not for TLS servers"},
    {CERT_TRUST_INVALID_BASIC_CONSTRAINTS, "a certificate in the chain may not issue certificates"},
    {CERT_TRUST_IS_CYCLIC, "the certificate chain runs in a circle"},
};

std::string Hex(DWORD code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    return hex;
}

// The first fault of the chain, or "" for a sound one.
std::string ChainFault(DWORD status) {
    for (const Fault& fault : kChainFaults) {
        if ((status & fault.status) != 0) {
            return std::string(fault.text) + " (chain status " + Hex(status) + ")";
        }
    }
    return {};
}

// The server's certificates in a store of their own, so the chain engine can use the
// intermediates it sent. Null leaf when the server's own certificate cannot be read.
StorePtr StoreSentCertificates(const std::vector<std::string>& derChain, CertificatePtr& leaf) {
    StorePtr store(
        CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
    for (std::size_t i = 0; store != nullptr && i < derChain.size(); ++i) {
        PCCERT_CONTEXT added = nullptr;
        // An intermediate Windows cannot read is left out; the chain engine says what is missing.
        CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                         reinterpret_cast<const BYTE*>(derChain[i].data()),
                                         static_cast<DWORD>(derChain[i].size()),
                                         CERT_STORE_ADD_ALWAYS, i == 0 ? &added : nullptr);
        if (i == 0) {
            leaf.reset(added);
        }
    }
    return store;
}

// The default engine of the current user: the user's and the machine's roots, and those
// Windows fetches when a chain needs them.
ChainPtr BuildChain(PCCERT_CONTEXT leaf, HCERTSTORE sent, int timeoutMs, std::string& error) {
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    chainPara.dwUrlRetrievalTimeout = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!CertGetCertificateChain(nullptr, leaf, nullptr, sent, &chainPara, 0, nullptr, &built)) {
        error = "the system cannot build the certificate chain (" + Hex(GetLastError()) + ")";
    }
    return ChainPtr(built);
}

// The SSL policy's verdict on a sound chain, "" when it passes. The name is the caller's
// to check, as strictly as OpenSSL does; this policy would take an address for a name.
std::string SslPolicyRefusal(PCCERT_CHAIN_CONTEXT chain) {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA server = {};
    server.cbSize = sizeof server;
    server.dwAuthType = AUTHTYPE_SERVER;
    server.fdwChecks = SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &server;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
        return "the system cannot check the certificate chain (" + Hex(GetLastError()) + ")";
    }
    if (status.dwError != 0) {
        return "the system's TLS policy refuses the certificate (" + Hex(status.dwError) + ")";
    }
    return {};
}

}  // namespace

bool SystemVerifiesServerChains() {
    return true;
}

bool AddSystemTrustedRoots(x509_store_st*) {
    // Never asked for: a copy of the "ROOT" store misses the roots Windows has yet to fetch.
    return false;
}

bool VerifyServerChainWithSystem(const std::vector<std::string>& derChainLeafFirst, int timeoutMs,
                                 std::string& error) {
    CertificatePtr leaf;
    const StorePtr sent = StoreSentCertificates(derChainLeafFirst, leaf);
    if (leaf == nullptr) {
        error = "the system cannot read the server's certificate";
        return false;
    }
    const ChainPtr chain = BuildChain(leaf.get(), sent.get(), timeoutMs, error);
    if (chain == nullptr) {
        return false;
    }
    error = ChainFault(chain->TrustStatus.dwErrorStatus);
    if (error.empty()) {
        error = SslPolicyRefusal(chain.get());
    }
    return error.empty();
}

}  // namespace tavrin::platform
