// tavrin-tool: the operators' command line over the launcher's core. Each command uses the
// same code as the launcher, so what it prints is what the launcher would see.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/file_utils.h"

namespace {

using tavrin::ClientConfigData;
using tavrin::PlatformConfigData;

constexpr int kExitOk = 0;
constexpr int kExitFetchFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnusable = 3;

const char* const kUsage =
    "usage: tavrin-tool config [--ini PATH] [--platform N] [--client URL]\n"
    "\n"
    "  config   fetch the platform configuration named by config.ini (beside this\n"
    "           program unless --ini says otherwise) and print its decoded values;\n"
    "           --platform overrides the platform number, --client URL fetches and\n"
    "           prints a client configuration document instead.\n"
    "\n"
    "exit status: 0 printed, 1 the document could not be fetched, 2 usage,\n"
    "             3 the document arrived but holds no configuration\n";

struct ConfigOptions {
    std::string iniPath;
    std::string platform;
    std::string clientUrl;
};

bool ParseConfigOptions(const std::vector<std::string>& args, ConfigOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (i + 1 >= args.size()) {
            return false;
        }
        if (arg == "--ini") {
            options.iniPath = args[++i];
        } else if (arg == "--platform") {
            options.platform = args[++i];
        } else if (arg == "--client") {
            options.clientUrl = args[++i];
        } else {
            return false;
        }
    }
    return true;
}

void PrintValue(const char* name, const std::string& value) {
    std::printf("%s=%s\n", name, value.c_str());
}

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

int RunConfig(const std::vector<std::string>& args) {
    ConfigOptions options;
    if (!ParseConfigOptions(args, options)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (options.iniPath.empty()) {
        options.iniPath = tavrin::ConfigIniPath();
    }
    std::string url = options.clientUrl;
    if (url.empty()) {
        const std::string platform = options.platform.empty()
                                         ? tavrin::ReadPlatformValue(options.iniPath)
                                         : options.platform.substr(0, 15);
        url = tavrin::ReadConfigUrlBase(options.iniPath) + platform;
    }
    std::string text;
    std::string error;
    if (!tavrin::FetchUrlText(url, text, &error)) {
        std::fprintf(stderr, "tavrin-tool: cannot fetch %s: %s\n", url.c_str(), error.c_str());
        return kExitFetchFailed;
    }
    if (options.clientUrl.empty()) {
        PlatformConfigData config;
        if (!tavrin::ParsePlatformConfig(text, config)) {
            std::fprintf(stderr, "tavrin-tool: %s holds no platform configuration\n", url.c_str());
            return kExitUnusable;
        }
        PrintPlatformConfig(config);
    } else {
        ClientConfigData config;
        if (!tavrin::ParseClientConfig(text, config)) {
            std::fprintf(stderr, "tavrin-tool: %s holds no client configuration\n", url.c_str());
            return kExitUnusable;
        }
        PrintClientConfig(config);
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    tavrin::g_strBaseName = tavrin::ComputeBaseName(tavrin::GetModulePath());
    const std::vector<std::string> args(argv + std::min(argc, 2), argv + argc);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "config") {
        return RunConfig(args);
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
