// tavrin-tool update-check: the launcher's update check, without the hand-over.
#include <cstdio>
#include <string>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/program_paths.h"
#include "net/socket_transport.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system_paths.h"
#include "platform/temp_dir.h"
#include "tool/tool_options.h"
#include "update/update_worker.h"
#include "update/verification.h"

namespace tavrin::tool {

using tavrin::PlatformConfigData;

const char* const kUpdateCheckHelp =
    "  update-check  run the launcher's update check against the configured service in\n"
    "           FOLDER and print what it would hand over to the updater, without\n"
    "           starting it. The check empties FOLDER first: one that holds anything\n"
    "           needs --force. Without --data it works in a new private temporary\n"
    "           folder, removed afterwards. --public-key checks the description's\n"
    "           signature with that key instead of the launcher's (the built-in one,\n"
    "           else updateKey in config.ini; \"\" checks the digests only). --launcher\n"
    "           NAME (tavrin) reads that launcher's record of a version that failed\n"
    "           to install, and leaves the version alone as the launcher would\n";

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
    std::string launcher = "tavrin";
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
        Text("--launcher", launcher),
    };
    Args none;
    if (!ParseArguments(args, options, 0, none)) {
        return kExitUsage;
    }
    // A key that is no key is refused here, not taken for one that checks nothing.
    if (keyGiven != 0 && !publicKey.empty() && !tavrin::IsSha256Hex(publicKey)) {
        std::fprintf(stderr,
                     "tavrin-tool: --public-key \"%s\" is not a key: 64 hex digits (\"\" for "
                     "digests only)\n",
                     publicKey.c_str());
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
    const tavrin::Loaded<tavrin::PlatformConfigData> loaded = tavrin::LoadPlatformConfig(iniPath);
    if (!loaded) {
        std::fprintf(stderr, "tavrin-tool: no platform configuration: %s\n",
                     loaded.failure.c_str());
        return kExitFetchFailed;
    }
    const tavrin::PlatformConfigData& platform = *loaded.value;
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
    settings.failedUpdateFile =
        tavrin::FailedUpdateFileFor(tavrin::platform::UserStateFolder(), launcher);
    tavrin::FailedUpdate failed;
    const bool recorded = tavrin::ReadFailedUpdate(settings.failedUpdateFile, failed);
    tavrin::SocketStartup();
    const tavrin::UpdateReport report = tavrin::RunUpdateCheck(settings, true);
    tavrin::SocketCleanup();
    std::printf("folder=%s\nchecked=%d\nofferedVersion=%d\nownVersion=%d\n", folder.c_str(),
                report.checked ? 1 : 0, report.offeredVersion, tavrin::kLauncherVersion);
    std::printf("updater=%s\nargument=%s\n", report.updaterProgram.c_str(),
                report.updaterArgument.c_str());
    std::printf("description=%s\n", report.described ? "fetched" : "not fetched");
    std::printf("signature=%s\nrefusal=%s\n", report.signature.c_str(), report.refusal.c_str());
    if (recorded) {
        std::printf("failedVersion=%d\nfailedAt=%s\nfailedReason=%s\n", failed.version,
                    tavrin::FailedUpdateTime(failed.when).c_str(), failed.reason.c_str());
    }
    std::printf("skippedAsFailed=%d\n", report.skippedFailure ? 1 : 0);
    // What the launcher package's config.ini would change for every player who takes it.
    for (const auto& [key, value] : report.movedConfig) {
        std::printf("moves.%s=%s\n", key.c_str(), value.c_str());
    }
    if (report.configLeftOut) {
        std::printf("configIni=left out: only a signed update moves players' settings\n");
    }
    if (ownFolder) {
        tavrin::platform::DeleteDirContents(folder);
        tavrin::platform::RemoveDirectoryEntry(folder);
    }
    // An unreachable service is no successful check, and neither is a signature that refuses
    // the update: scripts that watch it must notice.
    const bool signatureRefused = report.signature == "missing" || report.signature == "failed";
    return report.checked && report.described && !signatureRefused ? kExitOk : kExitFetchFailed;
}

}  // namespace tavrin::tool
