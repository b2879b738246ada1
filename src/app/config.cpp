#include "app/config.h"

#include <tinyxml2.h>

#include <algorithm>
#include <charconv>
#include <optional>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "app/operator_site.h"
#include "app/program_paths.h"
#include "platform/profile.h"

namespace tavrin {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The first element (whatever its name) and its first child of the given name.
const tinyxml2::XMLElement* FindValuesElement(const tinyxml2::XMLDocument& doc,
                                              const char* childName) {
    if (doc.Error()) {
        return nullptr;
    }
    const tinyxml2::XMLElement* container = doc.FirstChildElement();
    return container != nullptr ? container->FirstChildElement(childName) : nullptr;
}

std::string DecodedAttribute(const tinyxml2::XMLElement& element, const char* name) {
    const char* value = element.Attribute(name);
    return value != nullptr ? UrlDecode(value) : std::string();
}

}  // namespace

std::string ConfigIniPath() {
    return GetModuleDir() + "config.ini";
}

std::string ReadConfigUrlBase(const std::string& iniPath) {
    std::string base = platform::ReadProfileString("config", "configUrl", "", 2048, iniPath);
    return base.empty() ? kDefaultConfigUrlBase : base;
}

std::string ReadUpdateKey(const std::string& iniPath) {
    return platform::ReadProfileString("config", "updateKey", "", 129, iniPath);
}

std::string ReadPlatformValue(const std::string& iniPath) {
    // 16 characters with the terminator: a longer platform value is cut to 15.
    return platform::ReadProfileString("config", "platform", "0", 16, iniPath);
}

std::string PlatformConfigUrl(const std::string& iniPath) {
    return ReadConfigUrlBase(iniPath) + ReadPlatformValue(iniPath);
}

std::string UrlDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (c == '+') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

bool FetchUrlText(const std::string& url, std::string& text, std::string* error,
                  const std::vector<platform::BrowserCookie>& cookies) {
    std::string body;
    if (!platform::FetchUrlBody(url, g_strBaseName, body, {}, error, cookies)) {
        return false;
    }
    body.erase(std::remove(body.begin(), body.end(), '\n'), body.end());
    text = std::move(body);
    return true;
}

bool ParsePlatformConfig(std::string_view xml, PlatformConfigData& out) {
    tinyxml2::XMLDocument doc;
    doc.Parse(xml.data(), xml.size());
    const tinyxml2::XMLElement* url = FindValuesElement(doc, "url");
    if (url == nullptr) {
        return false;
    }
    out.officialUrl = DecodedAttribute(*url, "officialUrl");
    out.rechargeUrl = DecodedAttribute(*url, "rechargeUrl");
    out.bbsUrl = DecodedAttribute(*url, "bbsUrl");
    out.svrUrl = DecodedAttribute(*url, "svrUrl");
    out.minMainPage = DecodedAttribute(*url, "minMainPage");
    out.szVerify = DecodedAttribute(*url, "szVerify");
    out.updateUrl = DecodedAttribute(*url, "updateUrl");
    out.AdobeFlashUrl = DecodedAttribute(*url, "AdobeFlashUrl");
    return true;
}

bool ParseClientConfig(std::string_view xml, ClientConfigData& out) {
    tinyxml2::XMLDocument doc;
    doc.Parse(xml.data(), xml.size());
    const tinyxml2::XMLElement* client = FindValuesElement(doc, "clientConfig");
    if (client == nullptr) {
        return false;
    }
    out.mainFlash = DecodedAttribute(*client, "mainFlash");
    out.flashVars = DecodedAttribute(*client, "flashVars");
    out.title = DecodedAttribute(*client, "title");
    // Only an explicit "0" closes the game; any other value, empty included, opens it.
    out.isOpen = DecodedAttribute(*client, "isOpen") != "0";
    out.errorPage = DecodedAttribute(*client, "errorPage");
    out.area_url = DecodedAttribute(*client, "area_url");
    out.sockets = DecodedAttribute(*client, "sockets");
    return true;
}

namespace {

std::optional<SocketEndpoint> ParseSocketEntry(std::string_view entry) {
    const std::size_t colon = entry.rfind(':');
    if (colon == std::string_view::npos || colon + 1 == entry.size()) {
        return std::nullopt;
    }
    std::string_view host = entry.substr(0, colon);
    const std::string_view digits = entry.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find_first_of("[]:") != std::string_view::npos) {
        return std::nullopt;  // an IPv6 address needs its brackets
    }
    unsigned port = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (host.empty() || error != std::errc() || end != digits.data() + digits.size() || port == 0 ||
        port > 65535) {
        return std::nullopt;
    }
    return SocketEndpoint{std::string(host), static_cast<unsigned short>(port)};
}

}  // namespace

std::vector<SocketEndpoint> ParseSocketList(std::string_view list,
                                            std::vector<std::string>* rejected) {
    std::vector<SocketEndpoint> endpoints;
    constexpr std::string_view kSeparators = ", \t\r\n";
    std::size_t at = list.find_first_not_of(kSeparators);
    while (at != std::string_view::npos) {
        const std::size_t end = std::min(list.find_first_of(kSeparators, at), list.size());
        const std::string_view entry = list.substr(at, end - at);
        if (const auto endpoint = ParseSocketEntry(entry)) {
            if (std::find(endpoints.begin(), endpoints.end(), *endpoint) == endpoints.end()) {
                endpoints.push_back(*endpoint);
            }
        } else if (rejected != nullptr) {
            rejected->emplace_back(entry);
        }
        at = list.find_first_not_of(kSeparators, end);
    }
    return endpoints;
}

Loaded<PlatformConfigData> LoadPlatformConfigAt(const std::string& url) {
    Loaded<PlatformConfigData> loaded;
    std::string text;
    std::string error;
    if (!FetchUrlText(url, text, &error)) {
        loaded.failure = url + ": " + error;
        return loaded;
    }
    loaded.fetched = true;
    PlatformConfigData config;
    if (!ParsePlatformConfig(text, config) || config.minMainPage.empty()) {
        loaded.failure = url + ": the answer holds no configuration with a login page";
        return loaded;
    }
    config.configUrl = url;
    loaded.value = std::move(config);
    return loaded;
}

Loaded<PlatformConfigData> LoadPlatformConfig(const std::string& iniPath) {
    return LoadPlatformConfigAt(PlatformConfigUrl(iniPath));
}

bool SocketListTrusted(const std::string& url, const PlatformConfigData& platform) {
    return OnOperatorSite(url, {platform.configUrl, platform.minMainPage});
}

Loaded<ClientConfigData> LoadClientConfig(const std::string& url,
                                          const PlatformConfigData& platform,
                                          const std::vector<platform::BrowserCookie>& cookies) {
    Loaded<ClientConfigData> loaded;
    std::string text;
    std::string error;
    // The verified address may carry the player's session: the log keeps it without.
    const std::string logged = AddressForLog(url);
    if (!FetchUrlText(url, text, &error, cookies)) {
        Diagnose("tavrin: no client configuration from %s: %s", logged.c_str(), error.c_str());
        loaded.failure = error;
        return loaded;
    }
    loaded.fetched = true;
    ClientConfigData config;
    if (!ParseClientConfig(text, config)) {
        Diagnose("tavrin: the answer of %s is no client configuration", logged.c_str());
        loaded.failure = "the answer holds no client configuration";
        return loaded;
    }
    if (!config.sockets.empty() && !SocketListTrusted(url, platform)) {
        Diagnose(
            "tavrin: the client configuration from %s is not from the operator's site (%s): "
            "its game server list is ignored",
            HostOfAddress(url).c_str(),
            RegistrableDomain(HostOfAddress(platform.minMainPage)).c_str());
        config.sockets.clear();
    }
    // Never the movie's variables: they are the player's session.
    Diagnose("tavrin: client configuration from %s: isOpen=%d, movie %s", logged.c_str(),
             config.isOpen ? 1 : 0, AddressForLog(config.mainFlash).c_str());
    DiagnoseDetail("tavrin: area page %s, error page %s, sockets \"%s\"",
                   AddressForLog(config.area_url).c_str(), AddressForLog(config.errorPage).c_str(),
                   config.sockets.c_str());
    loaded.value = std::move(config);
    return loaded;
}

}  // namespace tavrin
