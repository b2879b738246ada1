// The platform and client configuration documents: any text, well-formed or not, either fills
// the fields or leaves them exactly as they were.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/config.h"
#include "fuzz_check.h"

using tavrin::fuzz::Check;

namespace {

bool Same(const tavrin::PlatformConfigData& a, const tavrin::PlatformConfigData& b) {
    return a.officialUrl == b.officialUrl && a.rechargeUrl == b.rechargeUrl &&
           a.bbsUrl == b.bbsUrl && a.svrUrl == b.svrUrl && a.minMainPage == b.minMainPage &&
           a.szVerify == b.szVerify && a.updateUrl == b.updateUrl &&
           a.AdobeFlashUrl == b.AdobeFlashUrl;
}

bool Same(const tavrin::ClientConfigData& a, const tavrin::ClientConfigData& b) {
    return a.area_url == b.area_url && a.mainFlash == b.mainFlash && a.flashVars == b.flashVars &&
           a.errorPage == b.errorPage && a.title == b.title && a.isOpen == b.isOpen &&
           a.sockets == b.sockets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view xml(reinterpret_cast<const char*>(data), size);

    const tavrin::PlatformConfigData platformBefore{"o", "r", "b", "s", "m", "v", "u", "a"};
    tavrin::PlatformConfigData platform = platformBefore;
    if (!tavrin::ParsePlatformConfig(xml, platform)) {
        Check(Same(platform, platformBefore), "a refused platform document changes nothing");
    }

    const tavrin::ClientConfigData clientBefore{"a", "m", "f", "e", "t", true, "s:1"};
    tavrin::ClientConfigData client = clientBefore;
    if (!tavrin::ParseClientConfig(xml, client)) {
        Check(Same(client, clientBefore), "a refused client document changes nothing");
    }
    // The game servers: every entry taken is a host with a port in range, and the whole text
    // as a list too.
    for (const std::string_view list : {std::string_view(client.sockets), xml}) {
        for (const tavrin::SocketEndpoint& endpoint : tavrin::ParseSocketList(list)) {
            Check(!endpoint.host.empty() && endpoint.port != 0,
                  "a game server has a host and a port");
        }
    }
    return 0;
}
