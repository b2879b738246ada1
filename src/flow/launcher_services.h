// What the launcher's road needs of the system beyond its windows: the configuration
// documents, the update check, the clock and the data directory. SystemServices is the
// real one; the road's tests give it answers of their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/config.h"
#include "update/update_progress.h"
#include "update/update_worker.h"

namespace tavrin {

class LauncherServices {
public:
    virtual ~LauncherServices() = default;

    // Before anything else: the socket library and the data directory.
    virtual void Prepare() = 0;
    // The platform configuration config.ini points to.
    virtual Loaded<PlatformConfigData> LoadPlatformConfig() = 0;
    // Runs on the update thread; `progress` carries the stages and the player's cancel.
    virtual UpdateReport CheckForUpdate(const PlatformConfigData& platform,
                                        UpdateProgress& progress) = 0;
    virtual Loaded<ClientConfigData> LoadClientConfig(
        const std::string& address, const PlatformConfigData& platform,
        const std::vector<platform::BrowserCookie>& cookies) = 0;
    virtual std::int64_t SecondsSince1970() = 0;
    // Removes what earlier runs left in the data directory.
    virtual void PruneDataDir() = 0;
    // At the end: the socket library.
    virtual void Release() = 0;
};

class SystemServices : public LauncherServices {
public:
    // The settings file's path and the program's base name, before Prepare.
    void Configure(std::string iniPath, std::string baseName);

    void Prepare() override;
    Loaded<PlatformConfigData> LoadPlatformConfig() override;
    UpdateReport CheckForUpdate(const PlatformConfigData& platform,
                                UpdateProgress& progress) override;
    Loaded<ClientConfigData> LoadClientConfig(
        const std::string& address, const PlatformConfigData& platform,
        const std::vector<platform::BrowserCookie>& cookies) override;
    std::int64_t SecondsSince1970() override;
    void PruneDataDir() override;
    void Release() override;

private:
    std::string m_strIniPath;
    std::string m_strBaseName;
    std::string m_strDataDir;
    bool m_bStartedByUpdater = false;
};

// How long a launcher started by our updater waits for the updater to let go of the data
// folder before it counts as another copy's update in progress.
inline constexpr int kUpdaterFinishingMs = 15000;

}  // namespace tavrin
