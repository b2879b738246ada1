#include "app/operator_site.h"

#include <libpsl.h>

#include <algorithm>
#include <cctype>

namespace tavrin {

std::string HostOfAddress(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) {
        return {};
    }
    std::string authority = url.substr(scheme + 3);
    authority = authority.substr(0, authority.find_first_of("/?#\\"));
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        authority = authority.substr(at + 1);
    }
    std::string host;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        host = close == std::string::npos ? std::string() : authority.substr(1, close - 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // "example.com." names the same host as "example.com".
    if (!host.empty() && host.back() == '.') {
        host.pop_back();
    }
    return host;
}

std::string RegistrableDomain(const std::string& host) {
    std::string lower = host;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // The newest of the list built into the library and the system's copy; null only when
    // there is neither, and then every host stands for itself.
    static const psl_ctx_t* const list = psl_latest(nullptr);
    const char* domain = list == nullptr ? nullptr : psl_registrable_domain(list, lower.c_str());
    return domain == nullptr ? lower : std::string(domain);
}

bool OnOperatorSite(const std::string& url, const std::vector<std::string>& siteUrls) {
    const std::string host = HostOfAddress(url);
    if (host.empty()) {
        return false;
    }
    const std::string domain = RegistrableDomain(host);
    return std::any_of(siteUrls.begin(), siteUrls.end(), [&domain](const std::string& site) {
        const std::string siteHost = HostOfAddress(site);
        return !siteHost.empty() && RegistrableDomain(siteHost) == domain;
    });
}

}  // namespace tavrin
