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

namespace {

// An IP address rather than a name: an IPv6 address, or a host whose last label is a number
// (no top-level domain is; browsers read such a host as an IPv4 address, "0x7f.1" as well).
bool IsIpAddress(const std::string& host) {
    if (host.find(':') != std::string::npos) {
        return true;
    }
    const std::string last = host.substr(host.rfind('.') + 1);
    const bool hex = last.size() > 2 && last[0] == '0' && last[1] == 'x';
    return !last.empty() &&
           std::all_of(last.begin() + (hex ? 2 : 0), last.end(), [hex](unsigned char c) {
               return hex ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
           });
}

}  // namespace

std::string RegistrableDomain(const std::string& host) {
    std::string lower = host;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // The list would take the last two numbers of an address for a domain: 10.0.0.1 and
    // 127.0.0.1 would be one site.
    if (IsIpAddress(lower)) {
        return lower;
    }
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
