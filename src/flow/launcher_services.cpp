#include "flow/launcher_services.h"

#include <ctime>
#include <utility>

#include "app/data_dir.h"
#include "app/program_paths.h"
#include "net/socket_transport.h"
#include "platform/process.h"
#include "platform/system_paths.h"
#include "update/verification.h"

namespace tavrin {

void SystemServices::Configure(std::string iniPath, std::string baseName) {
    m_strIniPath = std::move(iniPath);
    m_strBaseName = std::move(baseName);
}

void SystemServices::Prepare() {
    // Started by our updater: its copies of the data folder's locks are its own, and it
    // is finishing.
    m_bStartedByUpdater = platform::ReleaseHandedOnLocks();
    // A failure here shows up later, as downloads that cannot connect.
    SocketStartup();
    m_strDataDir = PrepareDataDir();
}

Loaded<PlatformConfigData> SystemServices::LoadPlatformConfig() {
    return tavrin::LoadPlatformConfig(m_strIniPath);
}

UpdateReport SystemServices::CheckForUpdate(const PlatformConfigData& platform,
                                            UpdateProgress& progress) {
    UpdateSettings settings;
    settings.baseName = m_strBaseName;
    settings.dataDir = m_strDataDir;
    settings.updateUrl = platform.updateUrl;
    settings.modulePath = GetModulePath();
    settings.failedUpdateFile = FailedUpdateFileFor(platform::UserStateFolder(), m_strBaseName);
    settings.publicKey = ChooseUpdateKey(ReadUpdateKey(m_strIniPath));
    settings.progress = &progress;
    settings.waitForUpdaterMs = m_bStartedByUpdater ? kUpdaterFinishingMs : 0;
    return UpdateThreadProc(settings);
}

Loaded<ClientConfigData> SystemServices::LoadClientConfig(
    const std::string& address, const PlatformConfigData& platform,
    const std::vector<platform::BrowserCookie>& cookies) {
    return tavrin::LoadClientConfig(address, platform, cookies);
}

std::int64_t SystemServices::SecondsSince1970() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

void SystemServices::PruneDataDir() {
    tavrin::PruneDataDir(m_strDataDir, m_strBaseName);
}

void SystemServices::Release() {
    SocketCleanup();
}

}  // namespace tavrin
