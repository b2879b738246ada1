// tavrin-tool config: the platform or a client configuration, as the launcher reads it.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "app/config.h"
#include "app/operator_site.h"
#include "net/http_parse.h"
#include "platform/file_system.h"
#include "tool/tool_options.h"

namespace tavrin::tool {

using tavrin::ClientConfigData;
using tavrin::PlatformConfigData;

const char* const kConfigHelp =
    "  config   fetch the platform configuration named by config.ini (beside this\n"
    "           program unless --ini says otherwise) and print its decoded values;\n"
    "           --platform overrides the platform number, --client URL fetches and\n"
    "           prints a client configuration document instead, presenting the session\n"
    "           of --cookie NAME=VALUE (repeatable) and --cookie-file FILE (a browser's\n"
    "           cookies.txt, as curl -c writes it); sockets is what the launcher would\n"
    "           use (the list counts only from the operator's site, by the platform\n"
    "           configuration), socketsDropped each entry it would not, with why;\n"
    "           --check: exit status 4 when the game could not be entered with it\n"
    "           (isOpen is not 1)\n";

void PrintPlatformConfig(const PlatformConfigData& c) {
    PrintValue("officialUrl", c.officialUrl);
    PrintValue("rechargeUrl", c.rechargeUrl);
    PrintValue("bbsUrl", c.bbsUrl);
    PrintValue("svrUrl", c.svrUrl);
    PrintValue("minMainPage", c.minMainPage);
    PrintValue("szVerify", c.szVerify);
    PrintValue("updateUrl", c.updateUrl);
    PrintValue("AdobeFlashUrl", c.AdobeFlashUrl);
}

void PrintClientConfig(const ClientConfigData& c) {
    PrintValue("mainFlash", c.mainFlash);
    PrintValue("flashVars", c.flashVars);
    PrintValue("title", c.title);
    PrintValue("isOpen", c.isOpen ? "1" : "0");
    PrintValue("errorPage", c.errorPage);
    PrintValue("area_url", c.area_url);
}

namespace {

// The game servers the launcher would let the movie reach from this document's list, and
// each entry it would leave out with why. `foreignSite` names the operator's site when the
// document is not from it: then every entry is left out.
void PrintSockets(const std::string& list, const std::string& foreignSite) {
    std::vector<std::string> malformed;
    const std::vector<SocketEndpoint> endpoints = ParseSocketList(list, &malformed);
    std::string used;
    for (const SocketEndpoint& e : endpoints) {
        const bool v6 = e.host.find(':') != std::string::npos;
        const std::string entry = (v6 ? "[" + e.host + "]" : e.host) + ":" + std::to_string(e.port);
        if (!foreignSite.empty()) {
            PrintValue("socketsDropped", entry + " (the document is not from the operator's site " +
                                             foreignSite + ")");
            continue;
        }
        used += (used.empty() ? "" : ",") + entry;
    }
    PrintValue("sockets", used);
    for (const std::string& entry : malformed) {
        PrintValue("socketsDropped", entry + " (not host:port with a port from 1 to 65535)");
    }
}

// The operator's site as the launcher judges it, "" when the document is from it (or when
// there is no platform configuration to tell: said on the error output).
std::string ForeignSite(const std::string& url, const std::string& platformUrl) {
    const tavrin::Loaded<PlatformConfigData> platform = tavrin::LoadPlatformConfigAt(platformUrl);
    if (!platform) {
        std::fprintf(stderr,
                     "tavrin-tool: no platform configuration (%s): the operator's site is "
                     "unknown, so sockets is the document's list; the launcher uses it only "
                     "from the operator's site\n",
                     platform.failure.c_str());
        return {};
    }
    if (SocketListTrusted(url, *platform.value)) {
        return {};
    }
    return RegistrableDomain(HostOfAddress(platform.value->minMainPage));
}

// A document that did not arrive, or arrived holding nothing usable.
int Refused(bool fetched, const std::string& failure) {
    if (!fetched) {
        std::fprintf(stderr, "tavrin-tool: cannot fetch %s\n", failure.c_str());
        return kExitFetchFailed;
    }
    std::fprintf(stderr, "tavrin-tool: %s\n", failure.c_str());
    return kExitUnusable;
}

// NAME=VALUE for the host of `url`, as its own page would have set it.
bool AddCookie(const std::string& text, const std::string& url,
               std::vector<platform::BrowserCookie>& cookies) {
    const std::size_t equals = text.find('=');
    std::string host;
    std::string object;
    std::uint16_t port = 0;
    if (equals == std::string::npos || equals == 0 || !ParseUrl(url, host, object, port)) {
        return false;
    }
    platform::BrowserCookie cookie;
    cookie.name = text.substr(0, equals);
    cookie.value = text.substr(equals + 1);
    cookie.domain = host;
    cookies.push_back(cookie);
    return true;
}

// A browser's cookies.txt (the Netscape format curl -c writes): per line domain, subdomains
// too (TRUE/FALSE), path, secure, expiry, name, value, by tabs; "#HttpOnly_" before the
// domain marks an HttpOnly cookie, other lines starting with '#' are comments.
bool ReadCookieFile(const std::string& path, std::vector<platform::BrowserCookie>& cookies) {
    std::string text;
    if (!platform::ReadWholeFile(path, text)) {
        return false;
    }
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        platform::BrowserCookie cookie;
        const std::string httpOnly = "#HttpOnly_";
        if (line.rfind(httpOnly, 0) == 0) {
            cookie.httpOnly = true;
            line.erase(0, httpOnly.size());
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '\t')) {
            fields.push_back(field);
        }
        if (fields.size() != 7 || fields[0].empty() || fields[5].empty()) {
            return false;
        }
        cookie.domain = fields[0][0] == '.' ? fields[0].substr(1) : fields[0];
        cookie.hostOnly = fields[1] != "TRUE";
        cookie.path = fields[2].empty() ? "/" : fields[2];
        cookie.secure = fields[3] == "TRUE";
        long expires = 0;
        cookie.expires = ParseNumber(fields[4], expires) ? expires : 0;
        cookie.name = fields[5];
        cookie.value = fields[6];
        cookies.push_back(cookie);
    }
    return true;
}

}  // namespace

int RunConfig(const Args& args) {
    std::string iniPath;
    std::string platform;
    std::string clientUrl;
    std::vector<std::string> cookieTexts;
    std::vector<std::string> cookieFiles;
    bool check = false;
    Args none;
    if (!ParseArguments(args,
                        {Text("--ini", iniPath),
                         Text("--platform", platform),
                         Text("--client", clientUrl),
                         {"--cookie",
                          [&](const std::string& v) {
                              cookieTexts.push_back(v);
                              return v.find('=') != std::string::npos && v[0] != '=';
                          }},
                         {"--cookie-file",
                          [&](const std::string& v) {
                              cookieFiles.push_back(v);
                              return !v.empty();
                          }},
                         {"--check", [&](const std::string&) { return check = true; }, true}},
                        0, none)) {
        return kExitUsage;
    }
    std::vector<platform::BrowserCookie> cookies;
    for (const std::string& text : cookieTexts) {
        if (!AddCookie(text, clientUrl, cookies)) {
            std::fprintf(stderr, "tavrin-tool: --cookie %s needs NAME=VALUE and --client URL\n",
                         text.c_str());
            return kExitUsage;
        }
    }
    for (const std::string& file : cookieFiles) {
        if (!ReadCookieFile(file, cookies)) {
            std::fprintf(stderr, "tavrin-tool: %s is no cookies.txt file\n", file.c_str());
            return kExitUsage;
        }
    }
    if (iniPath.empty()) {
        iniPath = tavrin::ConfigIniPath();
    }
    const std::string platformUrl =
        tavrin::ReadConfigUrlBase(iniPath) +
        (platform.empty() ? tavrin::ReadPlatformValue(iniPath) : platform.substr(0, 15));
    const std::string url = clientUrl.empty() ? platformUrl : clientUrl;
    // The launcher's own readers, with the launcher's checks.
    if (clientUrl.empty()) {
        const tavrin::Loaded<PlatformConfigData> loaded = tavrin::LoadPlatformConfigAt(url);
        if (!loaded) {
            return Refused(loaded.fetched, loaded.failure);
        }
        PrintPlatformConfig(*loaded.value);
        return kExitOk;
    }
    std::string text;
    std::string error;
    // The session goes as the login browser's would: each cookie where it belongs.
    if (!tavrin::FetchUrlText(url, text, &error, cookies)) {
        return Refused(false, url + ": " + error);
    }
    ClientConfigData config;
    if (!tavrin::ParseClientConfig(text, config)) {
        return Refused(true, url + ": the answer holds no client configuration");
    }
    PrintClientConfig(config);
    PrintSockets(config.sockets,
                 config.sockets.empty() ? std::string() : ForeignSite(url, platformUrl));
    if (check && !config.isOpen) {
        std::fprintf(stderr,
                     "tavrin-tool: the game cannot be entered (isOpen is not 1): the launcher "
                     "would stay on the login page%s\n",
                     cookies.empty() ? "; no session was presented (--cookie, --cookie-file)" : "");
        return kExitClosed;
    }
    return kExitOk;
}

}  // namespace tavrin::tool
