// tavrin-tool config: the platform or a client configuration, as the launcher reads it.
#include <cstdio>
#include <string>

#include "app/config.h"
#include "tool/tool_options.h"

namespace tavrin::tool {

using tavrin::ClientConfigData;
using tavrin::PlatformConfigData;

const char* const kConfigHelp =
    "  config   fetch the platform configuration named by config.ini (beside this\n"
    "           program unless --ini says otherwise) and print its decoded values;\n"
    "           --platform overrides the platform number, --client URL fetches and\n"
    "           prints a client configuration document instead.\n";

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

// A document that did not arrive, or arrived holding nothing usable.
int Refused(bool fetched, const std::string& failure) {
    if (!fetched) {
        std::fprintf(stderr, "tavrin-tool: cannot fetch %s\n", failure.c_str());
        return kExitFetchFailed;
    }
    std::fprintf(stderr, "tavrin-tool: %s\n", failure.c_str());
    return kExitUnusable;
}

}  // namespace

int RunConfig(const Args& args) {
    std::string iniPath;
    std::string platform;
    std::string clientUrl;
    Args none;
    if (!ParseArguments(
            args,
            {Text("--ini", iniPath), Text("--platform", platform), Text("--client", clientUrl)}, 0,
            none)) {
        return kExitUsage;
    }
    if (iniPath.empty()) {
        iniPath = tavrin::ConfigIniPath();
    }
    std::string url = clientUrl;
    if (url.empty()) {
        url = tavrin::ReadConfigUrlBase(iniPath) +
              (platform.empty() ? tavrin::ReadPlatformValue(iniPath) : platform.substr(0, 15));
    }
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
    if (!tavrin::FetchUrlText(url, text, &error)) {
        return Refused(false, url + ": " + error);
    }
    ClientConfigData config;
    if (!tavrin::ParseClientConfig(text, config)) {
        return Refused(true, url + ": the answer holds no client configuration");
    }
    PrintClientConfig(config);
    return kExitOk;
}

}  // namespace tavrin::tool
