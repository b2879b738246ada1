// tavrin-tool: the operators' command line over the launcher's core. Each command uses the
// same code as the launcher, so what it prints is what the launcher would see.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/program_paths.h"
#include "app/swf_info.h"
#include "app/version.h"
#include "net/http_download.h"
#include "net/http_parse.h"
#include "net/socket_policy.h"
#include "net/socket_transport.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system_paths.h"
#include "platform/temp_dir.h"
#include "update/archive.h"
#include "update/update_worker.h"

namespace {

using tavrin::ClientConfigData;
using tavrin::PlatformConfigData;
using Args = std::vector<std::string>;

// Exit statuses, as the usage text's table names them.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitFetchFailed = 1;     // config, update-check: no document, or no check
constexpr int kExitUnusable = 3;        // config: the document holds no configuration
constexpr int kExitDownloadFailed = 3;  // download
constexpr int kExitNotFound = 4;        // download: the server has no such file
constexpr int kExitFailed = 1;          // extract, sign-update, socket-policy

// What each command does, for the usage text and its own --help.
const char* const kConfigHelp =
    "  config   fetch the platform configuration named by config.ini (beside this\n"
    "           program unless --ini says otherwise) and print its decoded values;\n"
    "           --platform overrides the platform number, --client URL fetches and\n"
    "           prints a client configuration document instead.\n";

const char* const kDownloadHelp =
    "  download fetch URL into FILE with the launcher's own HTTP client. Options:\n"
    "           --connect-timeout T  --recv-timeout T  --send-timeout T (10s each; T in\n"
    "           milliseconds, or with its unit: 500ms, 10s, 2m)\n"
    "           --retry-mode 0|1|2 (give up, limited, unlimited)  --max-retries N\n"
    "           --retry-delay MS  --user-agent TEXT  --referer URL\n"
    "           --user NAME --password TEXT (Basic credentials for the server)\n"
    "           --proxy-type none|http|socks4|socks4a|socks5  --proxy HOST:PORT\n"
    "           --proxy-user NAME --proxy-password TEXT\n"
    "           --progress (bytes, speed, time left; shown on a terminal by default)\n"
    "           --silent (no progress)\n"
    "           --password-env VAR, --password-file FILE (and --proxy-password-env,\n"
    "           --proxy-password-file): the password from an environment variable or\n"
    "           the first line of a file, kept off the command line\n"
    "           --cacert FILE (PEM CAs that https servers must chain to, in place of\n"
    "           the system's trusted roots)\n";

const char* const kExtractHelp =
    "  extract  unpack a ZIP archive into FOLDER as the update does; on failure the\n"
    "           archive result code of the failed call is on stderr\n";

const char* const kUpdateCheckHelp =
    "  update-check  run the launcher's update check against the configured service in\n"
    "           FOLDER and print what it would hand over to the updater, without\n"
    "           starting it. The check empties FOLDER first: one that holds anything\n"
    "           needs --force. Without --data it works in a new private temporary\n"
    "           folder, removed afterwards. --public-key checks the description's\n"
    "           signature with that key instead of the launcher's (the built-in one,\n"
    "           else updateKey in config.ini; \"\" checks the digests only)\n";

const char* const kSignUpdateHelp =
    "  sign-update  sign an update description (update.ini) with the Ed25519 private\n"
    "           key in PEM file KEY (openssl genpkey -algorithm ed25519 -out KEY):\n"
    "           writes DESCRIPTION.sig and prints the public key for updateKey in\n"
    "           config.ini or the build option TAVRIN_UPDATE_PUBLIC_KEY\n";

const char* const kMovieInfoHelp =
    "  movie-info  print what a Flash movie's file says of itself: compression,\n"
    "           version, length, stage size, frame rate and count, ActionScript 1/2\n"
    "           or 3, whether it may use the network\n";

const char* const kSocketPolicyHelp =
    "  socket-policy  ask HOST:PORT for its socket policy as the Flash player did: the\n"
    "           master policy on port 843 of the host first (--master-port N for\n"
    "           another), then the policy on PORT; prints what each said and, with\n"
    "           --movie URL (the game movie's address), whether that movie may connect\n"
    "           and why\n";

// Every exit status of every command, in one table: scripts test them.
const char* const kExitStatusHelp =
    "exit status:\n"
    "  0  ok          done: printed, downloaded, unpacked, checked or signed\n"
    "  1  failed      config: the document could not be fetched; update-check: no\n"
    "                 check could run or the service's description did not arrive;\n"
    "                 extract, sign-update: failed (reason on stderr); socket-policy:\n"
    "                 the movie may not connect, or (without --movie) no policy;\n"
    "                 movie-info: the file cannot be read or is no Flash movie\n"
    "  2  usage       a command line that is not understood\n"
    "  3  unusable    config: the document holds no configuration; download: failed\n"
    "  4  not found   download: the server has no such file\n";

void PrintUsage(std::FILE* to);

// One option of a command: `--name VALUE`, or `--name` alone when it is a flag.
struct Option {
    std::string name;
    std::function<bool(const std::string& value)> set;  // false: the value is not valid
    bool flag = false;
};

// `--name TEXT`; `given`, when there is one, becomes 1 with it.
Option Text(const char* name, std::string& field, int* given = nullptr) {
    return {name, [&field, given](const std::string& value) {
                field = value;
                if (given != nullptr) {
                    *given = 1;
                }
                return true;
            }};
}

bool ParseNumber(const std::string& text, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0';
}

template <typename T>
Option Number(const char* name, T& field, long min, long max) {
    return {name, [&field, min, max](const std::string& text) {
                long value = 0;
                if (!ParseNumber(text, value) || value < min || value > max) {
                    return false;
                }
                field = static_cast<T>(value);
                return true;
            }};
}

// The one parser of every command: applies the options in args in order and collects the
// other arguments, of which there must be `count`. A command without options takes every
// argument as it is. On bad input it says why on stderr (the usage text for a wrong count of
// arguments) and returns false.
bool ParseArguments(const Args& args, const std::vector<Option>& options, std::size_t count,
                    Args& positional) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&arg](const Option& o) { return o.name == arg; });
        if (option == options.end()) {
            if (!options.empty() && arg.rfind("--", 0) == 0) {
                std::fprintf(stderr, "tavrin-tool: unknown option %s\n", arg.c_str());
                return false;
            }
            positional.push_back(arg);
        } else if (option->flag) {
            option->set("");
        } else if (i + 1 >= args.size()) {
            std::fprintf(stderr, "tavrin-tool: missing value for %s\n", arg.c_str());
            return false;
        } else if (!option->set(args[++i])) {
            std::fprintf(stderr, "tavrin-tool: %s needs a valid value\n", arg.c_str());
            return false;
        }
    }
    if (positional.size() != count) {
        PrintUsage(stderr);
        return false;
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
    std::string text;
    std::string error;
    if (!tavrin::FetchUrlText(url, text, &error)) {
        std::fprintf(stderr, "tavrin-tool: cannot fetch %s: %s\n", url.c_str(), error.c_str());
        return kExitFetchFailed;
    }
    if (clientUrl.empty()) {
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

// Prints the progress on one terminal line: bytes, speed and, with a known size, the time
// left, at most ten times a second.
void ShowProgress(const tavrin::DownloadProgress& p) {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    static Clock::time_point shown;
    const Clock::time_point now = Clock::now();
    const bool done = p.total > 0 && p.received >= p.total;
    if (p.code != 3 || (now - shown < std::chrono::milliseconds(100) && !done)) {
        return;
    }
    shown = now;
    const double seconds = std::chrono::duration<double>(now - start).count();
    const double speed =
        seconds > 0 ? static_cast<double>(p.received) / seconds : 0;  // bytes a second
    char rate[48];
    std::snprintf(rate, sizeof rate, "  %.1f MiB/s", speed / (1024 * 1024));
    if (p.total > 0) {
        const long left =
            speed > 0 ? static_cast<long>(static_cast<double>(p.total - p.received) / speed) : -1;
        char eta[32] = "";
        if (left >= 0) {
            std::snprintf(eta, sizeof eta, "  %ld:%02ld left", left / 60, left % 60);
        }
        std::fprintf(stderr, "\r%s: %lld of %lld bytes (%d%%)%s%s   ", p.name.c_str(),
                     static_cast<long long>(p.received), static_cast<long long>(p.total),
                     static_cast<int>(100.0 * static_cast<double>(p.received) /
                                      static_cast<double>(p.total)),
                     rate, eta);
    } else {
        std::fprintf(stderr, "\r%s: %lld bytes%s   ", p.name.c_str(),
                     static_cast<long long>(p.received), rate);
    }
}

// A time-out in milliseconds, or with its unit: "500ms", "10s", "2m".
bool ParseDuration(const std::string& text, int& ms) {
    static const std::pair<const char*, long> kUnits[] = {{"ms", 1}, {"s", 1000}, {"m", 60000}};
    long factor = 1;
    std::string digits = text;
    for (const auto& [suffix, unitMs] : kUnits) {
        const std::size_t n = std::strlen(suffix);
        if (text.size() > n && text.compare(text.size() - n, n, suffix) == 0) {
            factor = unitMs;
            digits = text.substr(0, text.size() - n);
            break;
        }
    }
    long value = 0;
    if (!ParseNumber(digits, value) || value < 1 || value > 3600000 / factor) {
        return false;
    }
    ms = static_cast<int>(value * factor);
    return true;
}

Option Duration(const char* name, int& field) {
    return {name, [&field](const std::string& text) { return ParseDuration(text, field); }};
}

// A secret taken from the environment or from the first line of a file, so that it need
// not stand on the command line, where other users' process lists show it.
Option SecretFromEnvironment(const char* name, std::string& field) {
    return {name, [&field](const std::string& variable) {
                const char* value = std::getenv(variable.c_str());
                field = value != nullptr ? value : "";
                return value != nullptr;
            }};
}

Option SecretFromFile(const char* name, std::string& field) {
    return {name, [&field](const std::string& path) {
                std::ifstream file(path, std::ios::binary);
                if (!file || !std::getline(file, field)) {
                    return false;
                }
                if (!field.empty() && field.back() == '\r') {
                    field.pop_back();  // a file written on Windows
                }
                return true;
            }};
}

int RunDownload(const Args& args) {
    tavrin::CHttpDownload d;
    // Shown on a terminal unless --silent; --progress shows it anywhere.
    int progress = tavrin::platform::ErrorOutputIsTerminal() ? 1 : 0;
    const std::vector<Option> options = {
        Duration("--connect-timeout", d.m_nConnectTimeout),
        Duration("--recv-timeout", d.m_nRecvTimeout),
        Duration("--send-timeout", d.m_nSendTimeout),
        Number("--retry-mode", d.m_nRetryMode, 0, 2),
        Number("--max-retries", d.m_nMaxRetries, 0, 1000000),
        Number("--retry-delay", d.m_nRetryDelay, 0, 3600000),
        Text("--user-agent", d.m_strUserAgent),
        Text("--referer", d.m_strReferer),
        Text("--user", d.m_strUser, &d.m_bServerAuth),
        Text("--password", d.m_strPassword),
        SecretFromEnvironment("--password-env", d.m_strPassword),
        SecretFromFile("--password-file", d.m_strPassword),
        {"--proxy-type", [&d](const std::string& v) { return ParseProxyType(v, d); }},
        {"--proxy", [&d](const std::string& v) { return ParseProxy(v, d); }},
        Text("--proxy-user", d.m_strProxyUser, &d.m_bProxyAuth),
        Text("--proxy-password", d.m_strProxyPassword),
        SecretFromEnvironment("--proxy-password-env", d.m_strProxyPassword),
        SecretFromFile("--proxy-password-file", d.m_strProxyPassword),
        Text("--cacert", d.m_strCaFile),
        {"--progress",
         [&progress](const std::string&) {
             progress = 1;
             return true;
         },
         true},
        {"--silent",
         [&progress](const std::string&) {
             progress = 0;
             return true;
         },
         true},
    };
    Args urlAndFile;
    if (!ParseArguments(args, options, 2, urlAndFile)) {
        return kExitUsage;
    }
    if (progress != 0) {
        d.m_bNotify = 1;
        d.m_notify = &ShowProgress;
    }
    // A temporary file of this process's own, so that two copies fetching the same target
    // never write into one file.
    d.SetTempSuffixNumber(static_cast<int>(tavrin::platform::CurrentProcessId()));
    // Named by the target's folder: another copy finishing a file of the same name elsewhere
    // is another file.
    d.SetMutexPrefix(tavrin::TargetMutexPrefix(urlAndFile[1]));
    tavrin::SocketStartup();
    const int result = d.Download(urlAndFile[0], urlAndFile[1]);
    tavrin::SocketCleanup();
    if (d.m_bNotify != 0) {
        std::fputc('\n', stderr);
    }
    if (result == tavrin::DL_OK) {
        return kExitOk;
    }
    std::fprintf(stderr, "tavrin-tool: download of %s failed (result %d)\n", urlAndFile[0].c_str(),
                 result);
    if (!d.m_strTlsError.empty()) {
        std::fprintf(stderr, "tavrin-tool: TLS: %s\n", d.m_strTlsError.c_str());
    }
    // DL_STOPPED cannot come: nothing here stops the download.
    return result == tavrin::DL_NOT_FOUND ? kExitNotFound : kExitDownloadFailed;
}

int RunExtract(const Args& args) {
    Args paths;
    if (!ParseArguments(args, {}, 2, paths)) {
        return kExitUsage;
    }
    if (tavrin::ExtractArchive(paths[0], paths[1])) {
        return kExitOk;
    }
    // The codes (0x400 ...) do not fit an exit status, which is one byte.
    std::fprintf(stderr, "tavrin-tool: cannot unpack %s (result 0x%x)\n", paths[0].c_str(),
                 static_cast<unsigned>(tavrin::ArchiveLastResult()));
    return kExitFailed;
}

// True when something is at the path: a file, or a folder with anything in it.
bool HoldsAnything(const std::string& path) {
    namespace platform = tavrin::platform;
    return platform::PathExists(path) &&
           (!platform::IsDirectory(path) || !platform::ListDirectory(path).empty());
}

int RunUpdateCheck(const Args& args) {
    std::string iniPath = tavrin::ConfigIniPath();
    std::string folder;
    bool force = false;
    std::string publicKey;
    int keyGiven = 0;
    const std::vector<Option> options = {
        Text("--ini", iniPath),
        Text("--data", folder),
        {"--force",
         [&force](const std::string&) {
             force = true;
             return true;
         },
         true},
        Text("--public-key", publicKey, &keyGiven),
    };
    Args none;
    if (!ParseArguments(args, options, 0, none)) {
        return kExitUsage;
    }
    // The check empties its folder: someone's files must not go because of a mistyped path.
    if (!folder.empty() && !force && HoldsAnything(folder)) {
        std::fprintf(stderr,
                     "tavrin-tool: %s is not an empty folder, and the update check would empty "
                     "it; give --force to allow that\n",
                     folder.c_str());
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
    // A folder of its own that nobody else made, or could have prepared, or shares.
    const bool ownFolder = folder.empty();
    if (ownFolder) {
        folder = tavrin::platform::MakePrivateTempDir("tavrin-update-check-");
        if (folder.empty()) {
            std::fprintf(stderr, "tavrin-tool: cannot make a temporary folder\n");
            return kExitFetchFailed;
        }
    }
    if (!tavrin::platform::EndsWithSeparator(folder)) {
        folder += tavrin::platform::PathSeparator();
    }
    if (keyGiven == 0) {
        publicKey = tavrin::ChooseUpdateKey(tavrin::ReadUpdateKey(iniPath));
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
    std::printf("description=%s\n", report.described ? "fetched" : "not fetched");
    std::printf("signature=%s\nrefusal=%s\n", publicKey.empty() ? "not checked" : "checked",
                report.refusal.c_str());
    if (ownFolder) {
        tavrin::platform::DeleteDirContents(folder);
        tavrin::platform::RemoveDirectoryEntry(folder);
    }
    // An unreachable service is no successful check: scripts that watch it must notice.
    return report.checked && report.described ? kExitOk : kExitFetchFailed;
}

int RunSignUpdate(const Args& args) {
    Args paths;
    if (!ParseArguments(args, {}, 2, paths)) {
        return kExitUsage;
    }
    std::string key;
    std::string description;
    if (!tavrin::platform::ReadWholeFile(paths[0], key) ||
        !tavrin::platform::ReadWholeFile(paths[1], description)) {
        std::fprintf(stderr, "tavrin-tool: cannot read %s or %s\n", paths[0].c_str(),
                     paths[1].c_str());
        return kExitFailed;
    }
    std::string signature;
    std::string publicKey;
    std::string error;
    if (!tavrin::SignUpdateDescription(key, description, signature, publicKey, error)) {
        std::fprintf(stderr, "tavrin-tool: %s: %s\n", paths[0].c_str(), error.c_str());
        return kExitFailed;
    }
    const std::string out = paths[1] + ".sig";
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file << signature << "\n";
    if (!file.flush()) {
        std::fprintf(stderr, "tavrin-tool: cannot write %s\n", out.c_str());
        return kExitFailed;
    }
    std::printf("signature=%s\npublicKey=%s\n", out.c_str(), publicKey.c_str());
    return kExitOk;
}

int RunMovieInfo(const Args& args) {
    Args paths;
    if (!ParseArguments(args, {}, 1, paths)) {
        return kExitUsage;
    }
    std::ifstream file(paths[0], std::ios::binary);
    std::string bytes(64 * 1024, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    tavrin::SwfInfo info;
    std::string error;
    if (!file.is_open() || !tavrin::ReadSwfInfo(bytes, info, &error)) {
        std::fprintf(stderr, "tavrin-tool: %s: %s\n", paths[0].c_str(),
                     file.is_open() ? error.c_str() : "cannot be read");
        return kExitFailed;
    }
    PrintValue("compression", tavrin::CompressionName(info.compression));
    PrintValue("version", std::to_string(info.version));
    PrintValue("length", std::to_string(info.fileLength));
    if (info.bodyRead) {
        char number[64];
        std::snprintf(number, sizeof number, "%gx%g", info.stageWidth, info.stageHeight);
        PrintValue("stage", number);
        std::snprintf(number, sizeof number, "%g", info.frameRate);
        PrintValue("frameRate", number);
        PrintValue("frames", std::to_string(info.frameCount));
        PrintValue("script", tavrin::ScriptName(info.script));
        PrintValue("network", info.usesNetwork ? "1" : "0");
    }
    return kExitOk;
}

// One policy answer as name.status, name.error, name.scope and a name.grant line each.
bool PrintPolicyAnswer(const char* name, const tavrin::PolicyAnswer& answer) {
    using Status = tavrin::PolicyAnswer::Status;
    const std::string prefix = name;
    if (answer.status != Status::kReceived) {
        PrintValue((prefix + ".status").c_str(),
                   answer.status == Status::kNoAnswer ? "no answer" : "unusable");
        PrintValue((prefix + ".error").c_str(), answer.error);
        return false;
    }
    tavrin::SocketPolicy policy;
    std::string error;
    if (!tavrin::ParseSocketPolicy(answer.document, policy, &error)) {
        PrintValue((prefix + ".status").c_str(), "no policy");
        PrintValue((prefix + ".error").c_str(), error);
        return false;
    }
    PrintValue((prefix + ".status").c_str(), "received");
    const char* scope = policy.scope == tavrin::PolicyScope::kAll          ? "all"
                        : policy.scope == tavrin::PolicyScope::kMasterOnly ? "master-only"
                                                                           : "none";
    PrintValue((prefix + ".scope").c_str(), scope);
    for (const tavrin::PolicyGrant& grant : policy.grants) {
        std::string ports;
        for (const tavrin::PortRange& range : grant.ports) {
            ports += (ports.empty() ? "" : ",") + std::to_string(range.first) +
                     (range.last == range.first ? "" : "-" + std::to_string(range.last));
        }
        PrintValue((prefix + ".grant").c_str(),
                   grant.domain + " " + ports + (grant.secure ? "" : " secure=false"));
    }
    return true;
}

int RunSocketPolicy(const Args& args) {
    std::string movie;
    std::uint16_t masterPort = tavrin::kMasterPolicyPort;
    Args positional;
    const std::vector<Option> options = {Text("--movie", movie),
                                         Number("--master-port", masterPort, 1, 65535)};
    if (!ParseArguments(args, options, 1, positional)) {
        return kExitUsage;
    }
    std::vector<std::string> rejected;
    const std::vector<tavrin::SocketEndpoint> endpoints =
        tavrin::ParseSocketList(positional[0], &rejected);
    std::string movieHost;
    std::string object;
    std::uint16_t moviePort = 0;
    if (endpoints.size() != 1 || !rejected.empty() ||
        (!movie.empty() && !tavrin::ParseUrl(movie, movieHost, object, moviePort))) {
        std::fprintf(stderr, "tavrin-tool: socket-policy needs HOST:PORT and a movie's address\n");
        return kExitUsage;
    }
    tavrin::SocketStartup();
    const tavrin::SocketEndpoint& to = endpoints[0];
    // Each answer is asked for once: what is printed is what the decision used.
    std::map<std::uint16_t, tavrin::PolicyAnswer> answers;
    const tavrin::PolicySource source = [&answers](const std::string& host, std::uint16_t port) {
        auto known = answers.find(port);
        if (known == answers.end()) {
            known = answers.emplace(port, tavrin::RequestSocketPolicy(host, port)).first;
        }
        return known->second;
    };
    const std::string where = to.host + ":" + std::to_string(to.port);
    PrintValue("master", to.host + ":" + std::to_string(masterPort));
    const bool masterSaid = PrintPolicyAnswer("master", source(to.host, masterPort));
    bool portSaid = false;
    if (to.port != masterPort) {
        PrintValue("policy", where);
        portSaid = PrintPolicyAnswer("policy", source(to.host, to.port));
    }
    if (movie.empty()) {
        return masterSaid || portSaid ? kExitOk : kExitFailed;
    }
    const tavrin::SocketPermission permission = tavrin::DecideSocketPermission(
        source, movieHost, tavrin::IsSecureUrl(movie), to.host, to.port, masterPort);
    PrintValue("movieHost", movieHost);
    PrintValue("decision", permission.allowed ? "allowed" : "refused");
    PrintValue("reason", permission.reason);
    return permission.allowed ? kExitOk : kExitFailed;
}

struct Command {
    const char* name;
    const char* usage;  // its arguments, for the usage text's first lines
    const char* help;   // what it does
    int (*run)(const Args& args);
};

const Command kCommands[] = {
    {"config", "[--ini PATH] [--platform N] [--client URL]", kConfigHelp, RunConfig},
    {"download", "[OPTIONS] URL FILE", kDownloadHelp, RunDownload},
    {"extract", "ARCHIVE FOLDER", kExtractHelp, RunExtract},
    {"update-check", "[--ini PATH] [--data FOLDER [--force]] [--public-key HEX]", kUpdateCheckHelp,
     RunUpdateCheck},
    {"sign-update", "KEY DESCRIPTION", kSignUpdateHelp, RunSignUpdate},
    {"movie-info", "FILE", kMovieInfoHelp, RunMovieInfo},
    {"socket-policy", "[--movie URL] [--master-port N] HOST:PORT", kSocketPolicyHelp,
     RunSocketPolicy},
};

void PrintUsage(std::FILE* to) {
    const char* lead = "usage: ";
    for (const Command& command : kCommands) {
        std::fprintf(to, "%stavrin-tool %s %s\n", lead, command.name, command.usage);
        lead = "       ";
    }
    std::fputs("       tavrin-tool --version\n", to);
    for (const Command& command : kCommands) {
        std::fprintf(to, "\n%s", command.help);
    }
    std::fprintf(to, "\n%s", kExitStatusHelp);
}

}  // namespace

int main(int argc, char** argv) {
    tavrin::g_strBaseName = tavrin::ComputeBaseName(tavrin::GetModulePath());
    const Args args(argv + std::min(argc, 2), argv + argc);
    const std::string name = argc > 1 ? argv[1] : "";
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (name == "--version") {
        std::printf("tavrin-tool %s\n", tavrin::kLauncherVersionText);
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        const bool help = std::any_of(args.begin(), args.end(), [](const std::string& a) {
            return a == "--help" || a == "-h";
        });
        if (name == command.name && help) {
            std::printf("usage: tavrin-tool %s %s\n\n%s\n%s", command.name, command.usage,
                        command.help, kExitStatusHelp);
            return kExitOk;
        }
        if (name == command.name) {
            return command.run(args);
        }
    }
    PrintUsage(stderr);
    return kExitUsage;
}
