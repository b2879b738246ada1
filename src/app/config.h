// The launcher's configuration: config.ini beside the program, the operator's platform
// configuration document (fetched at start-up) and the client configuration document
// (fetched when the login page reaches the verification address).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/url_fetch.h"

namespace tavrin {

struct PlatformConfigData {
    std::string officialUrl;
    std::string rechargeUrl;
    std::string bbsUrl;
    std::string svrUrl;
    std::string minMainPage;
    std::string szVerify;
    std::string updateUrl;
    std::string AdobeFlashUrl;
    // Where the launcher fetched this configuration (not a value of the document): with the
    // login page, the operator's own site.
    std::string configUrl;
};

struct ClientConfigData {
    std::string area_url;
    std::string mainFlash;
    std::string flashVars;
    std::string errorPage;
    std::string title;
    bool isOpen = false;
    // The game servers the movie may open sockets to: "host:port" entries separated by
    // commas or blanks; empty for none.
    std::string sockets;
};

// One game server the movie may reach.
struct SocketEndpoint {
    std::string host;  // a name or address as the movie names it; IPv6 without brackets
    unsigned short port = 0;
    friend bool operator==(const SocketEndpoint&, const SocketEndpoint&) = default;
};

// The entries of a "sockets" list in their order, each once. Entries that are not
// "host:port" with a port from 1 to 65535 ("[v6]:port" for IPv6) are skipped and named in
// `rejected` when given.
std::vector<SocketEndpoint> ParseSocketList(std::string_view list,
                                            std::vector<std::string>* rejected = nullptr);

// Whether a client configuration fetched from `url` may name the movie's game servers: only
// one from the operator's own site (the registrable domain of `platform`'s address or of its
// login page). A page that took the login browser elsewhere could otherwise answer at a
// verification address of its own and give the movie raw TCP to the player's network.
bool SocketListTrusted(const std::string& url, const PlatformConfigData& platform);

// A configuration document that was read, or why it could not be.
template <typename Config>
struct Loaded {
    std::optional<Config> value;
    // For the player's message and the log: the address and what went wrong there.
    std::string failure;
    // The document arrived (its content was the trouble).
    bool fetched = false;
    explicit operator bool() const { return value.has_value(); }
};

// Used when config.ini names no "configUrl" of its own.
inline constexpr const char* kDefaultConfigUrlBase =
    "http://config.tavrin.example/rzt/?c=index&a=micnf&yid=";

// The settings file beside the program.
std::string ConfigIniPath();

// "configUrl" of section "config" in the settings file, else kDefaultConfigUrlBase.
std::string ReadConfigUrlBase(const std::string& iniPath);
// "updateKey" of section "config": the Ed25519 public key (64 hex digits) update
// descriptions must be signed with when the launcher has none built in; "" when not set.
std::string ReadUpdateKey(const std::string& iniPath);
// "platform" of section "config", default "0", at most 15 characters.
std::string ReadPlatformValue(const std::string& iniPath);
// Configuration URL base + platform number, both from the settings file at iniPath.
std::string PlatformConfigUrl(const std::string& iniPath);

// Percent-decoding: "%" and two hex digits give that byte, "+" a space, and every other
// byte, an incomplete or malformed escape included, is copied as it is.
std::string UrlDecode(std::string_view text);

// GETs the address with the base name as User-Agent, carrying those of `cookies` that a
// browser would send there. The body's line feeds are dropped (carriage returns stay),
// joining its lines. The HTTP status is not looked at: an error page counts as fetched.
// False, with `text` untouched, when the fetch failed; then `error`, when given, says why.
bool FetchUrlText(const std::string& url, std::string& text, std::string* error = nullptr,
                  const std::vector<platform::BrowserCookie>& cookies = {});

// Fill `out` from a document's first element's first "url" / "clientConfig" child. False,
// with `out` untouched, when the text is not well-formed XML or the element is missing.
bool ParsePlatformConfig(std::string_view xml, PlatformConfigData& out);
bool ParseClientConfig(std::string_view xml, ClientConfigData& out);

// The platform configuration at `url`. None when the document could not be fetched, and
// when what arrived holds no configuration with a login page (an error page, say): a blank
// login window would help nobody. `configUrl` of the value is `url`.
Loaded<PlatformConfigData> LoadPlatformConfigAt(const std::string& url);
// The same at PlatformConfigUrl(iniPath).
Loaded<PlatformConfigData> LoadPlatformConfig(const std::string& iniPath);

// Fetches and parses the client configuration at `url`, with the login browser's cookies
// (operators' verification addresses look at the session). None when the fetch failed or
// the answer is no client configuration: that is no way into the game. A "sockets" list
// counts only from the operator's own site (the registrable domain of `platform`'s address
// or of its login page): from anywhere else it is dropped, said in the log, and the movie's
// game servers must allow it by socket policy.
Loaded<ClientConfigData> LoadClientConfig(const std::string& url,
                                          const PlatformConfigData& platform,
                                          const std::vector<platform::BrowserCookie>& cookies = {});

}  // namespace tavrin
