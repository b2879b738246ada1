// tavrin-tool: the operators' command line over the launcher's core. Each command uses the
// same code as the launcher, so what it prints is what the launcher would see.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/program_paths.h"
#include "net/http_download.h"
#include "net/socket_transport.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system_paths.h"
#include "update/archive.h"
#include "update/update_worker.h"

namespace {

using tavrin::ClientConfigData;
using tavrin::PlatformConfigData;

constexpr int kExitOk = 0;
constexpr int kExitFetchFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnusable = 3;

const char* const kUsage =
    "usage: tavrin-tool config [--ini PATH] [--platform N] [--client URL]\n"
    "       tavrin-tool download [OPTIONS] URL FILE\n"
    "       tavrin-tool extract ARCHIVE FOLDER\n"
    "       tavrin-tool update-check [--ini PATH] [--data FOLDER] [--public-key HEX]\n"
    "       tavrin-tool sign-update KEY DESCRIPTION\n"
    "\n"
    "  config   fetch the platform configuration named by config.ini (beside this\n"
    "           program unless --ini says otherwise) and print its decoded values;\n"
    "           --platform overrides the platform number, --client URL fetches and\n"
    "           prints a client configuration document instead.\n"
    "\n"
    "exit status: 0 printed, 1 the document could not be fetched, 2 usage,\n"
    "             3 the document arrived but holds no configuration\n"
    "\n"
    "  download fetch URL into FILE with the launcher's own HTTP client. Options:\n"
    "           --connect-timeout MS  --recv-timeout MS  --send-timeout MS (10000 each)\n"
    "           --retry-mode 0|1|2 (give up, limited, unlimited)  --max-retries N\n"
    "           --retry-delay MS  --user-agent TEXT  --referer URL\n"
    "           --user NAME --password TEXT (Basic credentials for the server)\n"
    "           --proxy-type none|http|socks4|socks4a|socks5  --proxy HOST:PORT\n"
    "           --proxy-user NAME --proxy-password TEXT  --progress\n"
    "           --cacert FILE (PEM CAs that https servers must chain to, in place of\n"
    "           the system's trusted roots)\n"
    "           exit status: 0 downloaded, 2 usage, 3 failed, 4 not found\n"
    "\n"
    "  extract  unpack a ZIP archive into FOLDER as the update does; exit status 0, or\n"
    "           1 with the archive result code of the failed call on stderr\n"
    "\n"
    "  update-check  run the launcher's update check against the configured service in\n"
    "           FOLDER (emptied first; default: a new temporary folder) and print what\n"
    "           it would hand over to the updater, without starting it; --public-key\n"
    "           checks the description's signature with that key instead of the\n"
    "           built-in one (\"\" checks the digests only)\n"
    "\n"
    "  sign-update  sign an update description (update.ini) with the Ed25519 private\n"
    "           key in PEM file KEY (openssl genpkey -algorithm ed25519 -out KEY):\n"
    "           writes DESCRIPTION.sig and prints the public key for the build option\n"
    "           TAVRIN_UPDATE_PUBLIC_KEY\n";

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

bool ParseNumber(const std::string& text, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0';
}

bool ParseProxy(const std::string& text, tavrin::CHttpDownload& d) {
    const std::size_t colon = text.rfind(':');
    long port = 0;
    if (colon == std::string::npos || !ParseNumber(text.substr(colon + 1), port) || port <= 0 ||
        port > 65535) {
        return false;
    }
    d.m_strProxyHost = text.substr(0, colon);
    d.m_nProxyPort = static_cast<std::uint16_t>(port);
    return true;
}

bool ParseProxyType(const std::string& text, tavrin::CHttpDownload& d) {
    static const std::map<std::string, int> kTypes = {{"none", tavrin::kProxyNone},
                                                      {"http", tavrin::kProxyHttp},
                                                      {"socks4", tavrin::kProxySocks4},
                                                      {"socks4a", tavrin::kProxySocks4a},
                                                      {"socks5", tavrin::kProxySocks5}};
    const auto found = kTypes.find(text);
    if (found == kTypes.end()) {
        return false;
    }
    d.m_nProxyType = found->second;
    return true;
}

// Prints the progress on one terminal line.
void ShowProgress(const tavrin::DownloadProgress& p) {
    if (p.code != 3) {
        return;
    }
    if (p.total > 0) {
        std::fprintf(stderr, "\r%s: %d of %d bytes (%d%%)", p.name.c_str(), p.received, p.total,
                     static_cast<int>(100LL * p.received / p.total));
    } else {
        std::fprintf(stderr, "\r%s: %d bytes", p.name.c_str(), p.received);
    }
}

int RunDownload(const std::vector<std::string>& args) {
    tavrin::CHttpDownload d;
    using Setter = std::function<bool(const std::string&)>;
    auto number = [](auto& field, long min, long max) {
        return Setter([&field, min, max](const std::string& text) {
            long value = 0;
            if (!ParseNumber(text, value) || value < min || value > max) {
                return false;
            }
            field = static_cast<std::remove_reference_t<decltype(field)>>(value);
            return true;
        });
    };
    auto text = [](std::string& field) {
        return Setter([&field](const std::string& value) {
            field = value;
            return true;
        });
    };
    const std::map<std::string, Setter> options = {
        {"--connect-timeout", number(d.m_nConnectTimeout, 1, 3600000)},
        {"--recv-timeout", number(d.m_nRecvTimeout, 1, 3600000)},
        {"--send-timeout", number(d.m_nSendTimeout, 1, 3600000)},
        {"--retry-mode", number(d.m_nRetryMode, 0, 2)},
        {"--max-retries", number(d.m_nMaxRetries, 0, 1000000)},
        {"--retry-delay", number(d.m_nRetryDelay, 0, 3600000)},
        {"--user-agent", text(d.m_strUserAgent)},
        {"--referer", text(d.m_strReferer)},
        {"--user", Setter([&d](const std::string& v) {
             d.m_strUser = v;
             d.m_bServerAuth = 1;
             return true;
         })},
        {"--password", text(d.m_strPassword)},
        {"--proxy-type", Setter([&d](const std::string& v) { return ParseProxyType(v, d); })},
        {"--proxy", Setter([&d](const std::string& v) { return ParseProxy(v, d); })},
        {"--proxy-user", Setter([&d](const std::string& v) {
             d.m_strProxyUser = v;
             d.m_bProxyAuth = 1;
             return true;
         })},
        {"--proxy-password", text(d.m_strProxyPassword)},
        {"--cacert", text(d.m_strCaFile)},
    };
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--progress") {
            d.m_bNotify = 1;
            d.m_notify = &ShowProgress;
            continue;
        }
        const auto option = options.find(args[i]);
        if (option == options.end()) {
            if (args[i].rfind("--", 0) == 0) {
                std::fprintf(stderr, "tavrin-tool: unknown option %s\n", args[i].c_str());
                return kExitUsage;
            }
            positional.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size() || !option->second(args[i + 1])) {
            std::fprintf(stderr, "tavrin-tool: %s needs a valid value\n", args[i].c_str());
            return kExitUsage;
        }
        ++i;
    }
    if (positional.size() != 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    // A temporary file of this process's own, so that two copies fetching the same target
    // never write into one file.
    d.SetTempSuffixNumber(static_cast<int>(tavrin::platform::CurrentProcessId()));
    d.SetMutexPrefix("_MUTEX");
    tavrin::SocketStartup();
    const int result = d.Download(positional[0], positional[1]);
    tavrin::SocketCleanup();
    if (d.m_bNotify != 0) {
        std::fputc('\n', stderr);
    }
    if (result != tavrin::DL_OK) {
        std::fprintf(stderr, "tavrin-tool: download of %s failed (result %d)\n",
                     positional[0].c_str(), result);
        if (!d.m_strTlsError.empty()) {
            std::fprintf(stderr, "tavrin-tool: TLS: %s\n", d.m_strTlsError.c_str());
        }
    }
    return result;
}

int RunExtract(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (tavrin::ExtractArchive(args[0], args[1])) {
        return kExitOk;
    }
    const int code = tavrin::ArchiveLastResult();
    std::fprintf(stderr, "tavrin-tool: cannot unpack %s (result 0x%x)\n", args[0].c_str(),
                 static_cast<unsigned>(code));
    // The codes (0x400 ...) do not fit an exit status, which is one byte.
    return 1;
}

int RunUpdateCheckCommand(const std::vector<std::string>& args) {
    std::string iniPath = tavrin::ConfigIniPath();
    std::string folder;
    std::string publicKey = tavrin::kBuiltInUpdateKey;
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "--ini") {
            iniPath = args[i + 1];
        } else if (args[i] == "--data") {
            folder = args[i + 1];
        } else if (args[i] == "--public-key") {
            publicKey = args[i + 1];
        } else {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    if (args.size() % 2 != 0) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    std::string text;
    std::string error;
    const std::string url = tavrin::PlatformConfigUrl(iniPath);
    tavrin::PlatformConfigData platform;
    if (!tavrin::FetchUrlText(url, text, &error) || !tavrin::ParsePlatformConfig(text, platform)) {
        std::fprintf(stderr, "tavrin-tool: no platform configuration from %s %s\n", url.c_str(),
                     error.c_str());
        return kExitFetchFailed;
    }
    if (folder.empty()) {
        // A folder of its own: the check empties the folder it is given.
        std::error_code ignored;
        const auto made =
            std::filesystem::temp_directory_path(ignored) /
            ("tavrin-update-check-" + std::to_string(tavrin::platform::CurrentProcessId()));
        std::filesystem::create_directories(made, ignored);
        folder = made.string();
    }
    if (!tavrin::platform::EndsWithSeparator(folder)) {
        folder += tavrin::platform::PathSeparator();
    }
    tavrin::UpdateSettings settings;
    settings.baseName = tavrin::g_strBaseName;
    settings.dataDir = folder;
    settings.updateUrl = platform.updateUrl;
    settings.modulePath = tavrin::GetModulePath();
    settings.publicKey = publicKey;
    tavrin::SocketStartup();
    const tavrin::UpdateReport report = tavrin::RunUpdateCheck(settings, true);
    tavrin::SocketCleanup();
    std::printf("folder=%s\nchecked=%d\nofferedVersion=%d\nownVersion=%d\n", folder.c_str(),
                report.checked ? 1 : 0, report.offeredVersion, tavrin::kLauncherVersion);
    std::printf("updater=%s\nargument=%s\n", report.updaterProgram.c_str(),
                report.updaterArgument.c_str());
    std::printf("signature=%s\nrefusal=%s\n", publicKey.empty() ? "not checked" : "checked",
                report.refusal.c_str());
    return report.checked ? kExitOk : kExitFetchFailed;
}

int RunSignUpdate(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    std::string key;
    std::string description;
    if (!tavrin::platform::ReadWholeFile(args[0], key) ||
        !tavrin::platform::ReadWholeFile(args[1], description)) {
        std::fprintf(stderr, "tavrin-tool: cannot read %s or %s\n", args[0].c_str(),
                     args[1].c_str());
        return 1;
    }
    std::string signature;
    std::string publicKey;
    std::string error;
    if (!tavrin::SignUpdateDescription(key, description, signature, publicKey, error)) {
        std::fprintf(stderr, "tavrin-tool: %s: %s\n", args[0].c_str(), error.c_str());
        return 1;
    }
    const std::string out = args[1] + ".sig";
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file << signature << "\n";
    if (!file.flush()) {
        std::fprintf(stderr, "tavrin-tool: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("signature=%s\npublicKey=%s\n", out.c_str(), publicKey.c_str());
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
    if (command == "download") {
        return RunDownload(args);
    }
    if (command == "extract") {
        return RunExtract(args);
    }
    if (command == "update-check") {
        return RunUpdateCheckCommand(args);
    }
    if (command == "sign-update") {
        return RunSignUpdate(args);
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
