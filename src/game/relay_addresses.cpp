// The relay's addresses: tokens, origins, its proxy addresses, and the hosts a movie may
// reach by policy.
#include <algorithm>
#include <cctype>
#include <random>

#include "app/config.h"
#include "game/relay_state.h"
#include "net/http_parse.h"

namespace tavrin {

namespace relay {

std::string RandomToken() {
    static const char kDigits[] = "0123456789abcdef";
    std::random_device random;
    std::string token;
    for (int i = 0; i < 32; ++i) {
        token += kDigits[random() % 16];
    }
    return token;
}

std::string Endpoint(const std::string& host, std::uint16_t port) {
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The server behind a proxy address of the relay: a listed one ("e/<index>") or a port of a
// policy host ("p/<index>/<port>").
bool ResolveProxy(const std::string& prefix, const std::vector<SocketEndpoint>& listed,
                  const std::vector<std::string>& policyHosts, const std::string& url,
                  SocketEndpoint& target, bool& isListed) {
    if (url.rfind(prefix, 0) != 0) {
        return false;
    }
    const std::string rest = url.substr(prefix.size());
    const auto number = [](const std::string& text, unsigned long max, unsigned long& out) {
        if (text.empty() || text.size() > 5 ||
            !std::all_of(text.begin(), text.end(),
                         [](unsigned char c) { return std::isdigit(c); }) ||
            (text.size() > 1 && text[0] == '0')) {
            return false;
        }
        out = std::stoul(text);
        return out <= max;
    };
    unsigned long index = 0;
    if (rest.rfind("e/", 0) == 0 && number(rest.substr(2), 65535, index) && index < listed.size()) {
        target = listed[index];
        isListed = true;
        return true;
    }
    const std::size_t slash = rest.find('/', 2);
    unsigned long port = 0;
    if (rest.rfind("p/", 0) == 0 && slash != std::string::npos &&
        number(rest.substr(2, slash - 2), 65535, index) && index < policyHosts.size() &&
        number(rest.substr(slash + 1), 65535, port) && port > 0) {
        target = {policyHosts[index], static_cast<unsigned short>(port)};
        isListed = false;
        return true;
    }
    return false;
}

}  // namespace relay

using relay::Lower;

std::vector<std::string> PolicyHostsFor(const std::string& movieUrl, const std::string& flashVars,
                                        std::size_t limit) {
    std::vector<std::string> hosts;
    const auto add = [&hosts, limit](std::string host) {
        host = Lower(std::move(host));
        if (!host.empty() && hosts.size() < limit &&
            std::find(hosts.begin(), hosts.end(), host) == hosts.end()) {
            hosts.push_back(std::move(host));
        }
    };
    std::string host;
    std::string object;
    std::uint16_t port = 0;
    if (ParseUrl(movieUrl, host, object, port)) {
        add(host);
    }
    // A dotted address ("10.0.0.7") or a name whose last label has letters
    // ("game.example.com"), not a version number ("1.2") or a file name's dot alone.
    const auto looksLikeHost = [](const std::string& text) {
        if (text.empty() || text.size() > 253 || text.find('.') == std::string::npos ||
            text.front() == '.' || text.back() == '.' || text.find("..") != std::string::npos ||
            !std::all_of(text.begin(), text.end(), [](unsigned char c) {
                return std::isalnum(c) != 0 || c == '.' || c == '-';
            })) {
            return false;
        }
        const std::string last = text.substr(text.rfind('.') + 1);
        const bool named = std::any_of(last.begin(), last.end(),
                                       [](unsigned char c) { return std::isalpha(c) != 0; });
        return named || std::count(text.begin(), text.end(), '.') == 3;
    };
    std::string_view rest = flashVars;
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        std::string value = UrlDecode(pair.substr(equals + 1));
        if (value.find("://") != std::string::npos) {
            if (ParseUrl(value, host, object, port)) {
                add(host);
            }
            continue;
        }
        const std::size_t colon = value.rfind(':');
        if (colon != std::string::npos) {
            value.resize(colon);
        }
        if (looksLikeHost(value)) {
            add(value);
        }
    }
    return hosts;
}

}  // namespace tavrin
