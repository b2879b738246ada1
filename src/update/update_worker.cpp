#include "update/update_worker.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <utility>
#include <vector>

#include "app/data_dir.h"
#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "net/http_download.h"
#include "net/http_parse.h"
#include "platform/codepage.h"
#include "platform/file_reader.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/system_paths.h"
#include "update/archive.h"
#include "update/install.h"
#include "update/install_journal.h"
#include "update/update_fetch.h"
#include "update/update_packages.h"

namespace tavrin {

namespace {

std::string Sep() {
    return std::string(1, platform::PathSeparator());
}

// The worker's downloads: short waits and a small retry budget, so that a slow service
// delays the start only a little.
DownloadOptions WorkerOptions(const std::string& dataDir) {
    DownloadOptions options;
    options.connectTimeoutMs = 3000;
    options.recvTimeoutMs = 3000;
    options.sendTimeoutMs = 3000;
    options.retry = {1, 2, 200};
    const auto now = static_cast<std::uint32_t>(std::time(nullptr));
    options.tempSuffix =
        ".down" + std::to_string(static_cast<int>(platform::CurrentProcessId() + now));
    options.mutexPrefix = DownloadMutexPrefix(dataDir);
    return options;
}

}  // namespace

std::string DownloadMutexPrefix(const std::string& dataDir) {
    const std::string marker = "Download" + Sep();
    const std::size_t at = platform::FindMbString(dataDir, marker);
    std::string kept;
    if (at != std::string::npos && at > 0) {
        kept = dataDir.substr(0, at - 1);
        const std::size_t last = platform::FindLastMbChar(kept, platform::PathSeparator());
        kept = last == std::string::npos ? kept : kept.substr(last + 1);
    }
    std::string prefix = kept + "_MUTEX";
    for (char& c : prefix) {
        if (c == '\\' || c == '/') {
            c = '_';
        }
    }
    return prefix;
}

namespace {

// Keeps the progress told of the check's downloads, and lets a cancel stop them.
class ProgressLink {
public:
    ProgressLink(UpdateProgress* progress, CHttpDownload& download) : m_progress(progress) {
        if (m_progress == nullptr) {
            return;
        }
        download.Options().cancel = &m_progress->CancelFlag();
        download.Options().progress = [this](const DownloadProgress& p) {
            m_progress->Count(p.received, p.total);
        };
    }
    // The download's callback holds this object's address.
    ProgressLink(const ProgressLink&) = delete;
    ProgressLink& operator=(const ProgressLink&) = delete;

    void Enter(UpdateStage stage, int offeredVersion) {
        if (m_progress != nullptr) {
            m_progress->Enter(stage, offeredVersion);
        }
    }

private:
    UpdateProgress* m_progress;
};

// A version that failed to install is left alone for a day, unless a newer one is offered; a
// record of a version this launcher has reached since is no longer needed.
bool SkipsFailedVersion(const UpdateSettings& s, UpdateReport& report) {
    FailedUpdate failed;
    if (s.failedUpdateFile.empty() || !ReadFailedUpdate(s.failedUpdateFile, failed)) {
        return false;
    }
    if (failed.version <= kLauncherVersion) {
        std::remove(s.failedUpdateFile.c_str());
        return false;
    }
    if (!SkipsFailedUpdate(failed, report.offeredVersion, std::time(nullptr))) {
        return false;
    }
    report.skippedFailure = failed;
    return true;
}

// Fetches, checks and unpacks an offered update into the data directory; the report names
// the updater to start when everything needed is in place.
void StageUpdate(const UpdateSettings& s, UpdateReport& report) {
    // Before any window: a service that answers slowly, or a byte now and then, holds the
    // start only this long.
    const auto start = std::chrono::steady_clock::now();
    const auto documentsBy = start + std::chrono::milliseconds(s.documentsDeadlineMs);
    const auto checkBy = start + std::chrono::milliseconds(s.checkDeadlineMs);
    CHttpDownload download(WorkerOptions(s.dataDir));
    ProgressLink progress(s.progress, download);

    const std::string description = s.dataDir + "update.ini";
    const std::string address =
        s.updateUrl + std::to_string(static_cast<std::int32_t>(std::time(nullptr)));
    if (DownloadBy(download, address, description, documentsBy, kMaxFetchedDocumentBytes) !=
        DL_OK) {
        return;
    }
    report.described = true;
    if (IsLargerThan(description, kMaxDescriptionBytes)) {
        report.refusal = "the update description is larger than 64 KiB";
        return;
    }
    // What the description offers, for the report whatever becomes of it.
    report.offeredVersion =
        VersionOf(platform::ReadProfileString("update", "versionNum", "0", 16, description));
    if (!s.publicKey.empty()) {
        report.refusal = CheckSignature(download, address, description, s.publicKey, documentsBy,
                                        report.signature);
        if (!report.refusal.empty()) {
            return;
        }
    }
    report.signatureChecked = !s.publicKey.empty();
    // A description the operator has withdrawn may still be served by whoever kept a copy;
    // past its expiry it is worth nothing, signed or not.
    const std::string expires =
        platform::ReadProfileString("update", "expires", "", 32, description);
    std::int64_t expiry = 0;
    if (!expires.empty() && !ParseExpiry(expires, expiry)) {
        report.refusal = "the update description's expiry \"" + expires + "\" is not a date";
        return;
    }
    if (!expires.empty() && static_cast<std::int64_t>(std::time(nullptr)) >= expiry) {
        report.refusal = "the update description expired at " + expires;
        return;
    }
    if (report.offeredVersion <= kLauncherVersion || SkipsFailedVersion(s, report)) {
        return;
    }
    // What the updater will be told, judged by the updater's own rule before anything is
    // fetched: one it would refuse (a launcher whose name has a dot, a '*' in a path) would
    // leave the player with nothing running once this launcher has ended.
    const std::string gameFolder = s.dataDir + "Game" + Sep();
    const std::string argument = s.modulePath + "*" + gameFolder + "*" + s.baseName;
    HandOver handOver;
    std::string why;
    if (!ParseHandOver(argument, handOver, why)) {
        report.refusal = "the updater could not take over from this launcher: " + why;
        return;
    }
    const std::string gameUrl =
        platform::ReadProfileString("update", "GameUrl", "", 512, description);
    const std::string updaterUrl =
        platform::ReadProfileString("update", "updateUrl", "", 512, description);
    // Digests are optional for services that do not sign; a signed description must name
    // both, or its signature would vouch for nothing that gets run.
    const std::string gameDigest =
        platform::ReadProfileString("update", "GameSha256", "", 128, description);
    const std::string updaterDigest =
        platform::ReadProfileString("update", "updateSha256", "", 128, description);
    const bool digestsMissing = gameDigest.empty() || updaterDigest.empty();
    if ((!gameDigest.empty() && !IsSha256Hex(gameDigest)) ||
        (!updaterDigest.empty() && !IsSha256Hex(updaterDigest))) {
        report.refusal = "a package digest in the update description is not 64 hex digits";
        return;
    }
    if (!s.publicKey.empty() && digestsMissing) {
        report.refusal = "the signed update description names no package digests";
        return;
    }
    // Each package stops at the size the description declares, else at the bound for all.
    std::uint64_t gameSize = 0;
    std::uint64_t updaterSize = 0;
    const std::string gameSizeText =
        platform::ReadProfileString("update", "GameSize", "", 64, description);
    const std::string updaterSizeText =
        platform::ReadProfileString("update", "updateSize", "", 64, description);
    if ((!gameSizeText.empty() && !ParsePackageSize(gameSizeText, gameSize)) ||
        (!updaterSizeText.empty() && !ParsePackageSize(updaterSizeText, updaterSize))) {
        report.refusal =
            "a package size in the update description is not a byte count from 1 "
            "to " +
            std::to_string(kLargestPackageBytes);
        return;
    }
    const std::string packages = s.dataDir + "downZip" + Sep();
    const auto fetch = [&](const std::string& url, const std::string& name, std::uint64_t size,
                           const std::string& digest, const char* what) {
        bool tooLarge = false;
        const std::uint64_t bound = size != 0 ? size : kDefaultPackageBytes;
        if (DownloadBy(download, url, packages + name, checkBy, bound, &tooLarge) != DL_OK) {
            if (tooLarge) {
                report.refusal =
                    std::string("the ") + what + " package is larger than the " +
                    std::to_string(bound) + " bytes " +
                    (size != 0 ? "the description declares" : "allowed without a declared size");
            }
            return false;
        }
        platform::RandomAccessFile file;
        const std::uint64_t got = file.Open(packages + name) ? file.Size() : 0;
        file.Close();
        if (size != 0 && got != size) {
            std::remove((packages + name).c_str());
            report.refusal = std::string("the ") + what + " package is " + std::to_string(got) +
                             " bytes, not the " + std::to_string(size) +
                             " the description declares";
            return false;
        }
        report.refusal = CheckPackage(packages + name, digest, what);
        return report.refusal.empty();
    };
    progress.Enter(UpdateStage::kDownloadingUpdater, report.offeredVersion);
    if (!fetch(updaterUrl, "update", updaterSize, updaterDigest, "updater")) {
        return;
    }
    progress.Enter(UpdateStage::kDownloadingLauncher, report.offeredVersion);
    if (!fetch(gameUrl, "Game", gameSize, gameDigest, "launcher")) {
        return;
    }
    const std::string updateFolder = s.dataDir + "Update" + Sep();
    progress.Enter(UpdateStage::kUnpacking, report.offeredVersion);
    // Both are unpacked, whatever the first one gave.
    ExtractReport gameUnpacking;
    ExtractReport updaterUnpacking;
    const bool gameUnpacked = ExtractArchive(packages + "Game", gameFolder, &gameUnpacking);
    const bool updaterUnpacked =
        ExtractArchive(packages + "update", updateFolder, &updaterUnpacking);
    if (!gameUnpacked || !updaterUnpacked) {
        const ExtractReport& failed = gameUnpacked ? updaterUnpacking : gameUnpacking;
        report.refusal = std::string("the ") + (gameUnpacked ? "updater" : "launcher") +
                         " package cannot be unpacked: " + failed.error +
                         (failed.failedEntry.empty() ? "" : " (" + failed.failedEntry + ")");
        return;
    }
    if (!StageConfigValues(gameFolder, report.signatureChecked, report.movedConfig,
                           report.configLeftOut, report.refusal)) {
        return;
    }
    const std::string staged = s.baseName + platform::ExecutableSuffix();
    const std::string program =
        ChooseLauncher(platform::ListPrograms(gameFolder), staged, report.refusal);
    const std::string updater = updateFolder + "update" + platform::ExecutableSuffix();
    const bool haveUpdater = platform::IsExistingFile(updater);
    const bool haveProgram = !program.empty() && platform::IsExistingFile(gameFolder + program);
    if (!haveUpdater || !haveProgram) {
        return;
    }
    if (program != staged &&
        std::rename((gameFolder + program).c_str(), (gameFolder + staged).c_str()) != 0) {
        // The updater would look for a launcher that is not there.
        report.refusal = "the new launcher could not be named " + staged;
        return;
    }
    report.updaterProgram = updater;
    report.updaterArgument = argument;
}

}  // namespace

UpdateReport RunUpdateCheck(const UpdateSettings& s, bool dryRun) {
    UpdateReport report;
    // Without a name of its own the data directory would be the user's whole application
    // data folder (or its parent, for "." and ".."), which the check empties.
    if (!IsUsableBaseName(s.baseName) || s.dataDir.empty()) {
        return report;
    }
    auto mutex = std::make_unique<platform::NamedMutex>(UpdateMutexName(s.baseName));
    // Started by our updater: it holds the folder until it ends, which is a moment away.
    const auto waitUntil =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(s.waitForUpdaterMs);
    while (mutex->IsValid() && mutex->AlreadyExisted() &&
           std::chrono::steady_clock::now() < waitUntil) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        mutex.reset();
        mutex = std::make_unique<platform::NamedMutex>(UpdateMutexName(s.baseName));
    }
    if (!mutex->IsValid() || mutex->AlreadyExisted()) {
        // Another copy is checking, or pruning for a moment, or its updater is at work;
        // this one touches nothing.
        report.busyElsewhere = platform::NamedMutex(UpdatingMutexName(s.baseName)).AlreadyExisted();
        return report;
    }
    const platform::NamedMutex updating(UpdatingMutexName(s.baseName));
    report.checked = true;
    // An updater killed part-way left its record beside this launcher: finished or undone now,
    // while no updater can be at work (the locks are ours).
    const std::string recovered = RecoverInstallation(FolderOf(s.modulePath));
    if (!recovered.empty()) {
        Diagnose("tavrin: an installation left unfinished in %s was %s",
                 FolderOf(s.modulePath).c_str(), recovered.c_str());
    }
    platform::DeleteDirContents(s.dataDir);
    StageUpdate(s, report);
    if (s.progress != nullptr && s.progress->Cancelled()) {
        // The player goes on without the update: nothing fetched or unpacked is kept.
        report.cancelled = true;
        report.updaterProgram.clear();
        platform::DeleteDirContents(s.dataDir);
        return report;
    }
    if (dryRun || report.updaterProgram.empty()) {
        return report;
    }
    // An updater that does not start leaves the player with the old launcher, not nothing.
    // The one that starts holds the data folder's locks until it ends: it copies from the
    // folder after this launcher has gone, and no copy started meanwhile may empty it.
    report.handedOver = s.launch
                            ? s.launch(report.updaterProgram, report.updaterArgument)
                            : platform::StartDetached(report.updaterProgram, report.updaterArgument,
                                                      {mutex->Native(), updating.Native()});
    return report;
}

namespace {

// What an operator needs from the log to know what the check did and why.
void LogUpdateReport(const UpdateReport& report, const UpdateSettings& settings) {
    if (!report.checked) {
        DiagnoseDetail("tavrin: no update check: another copy is working in %s",
                       settings.dataDir.c_str());
    } else if (report.offeredVersion > 0) {
        Diagnose("tavrin: the update service offers version %d, this is %d%s",
                 report.offeredVersion, kLauncherVersion,
                 report.offeredVersion <= kLauncherVersion ? ": nothing to do" : "");
    }
    if (const auto& failed = report.skippedFailure) {
        Diagnose(
            "tavrin: version %d failed to install at %s (%s); this launcher goes on and tries it "
            "again from %s or when a newer version is offered",
            failed->version, FailedUpdateTime(failed->when).c_str(), failed->reason.c_str(),
            FailedUpdateTime(failed->when + kRetryFailedUpdateAfterSeconds).c_str());
    }
    if (report.cancelled) {
        Diagnose("tavrin: the player cancelled the update to version %d; going on without it",
                 report.offeredVersion);
    }
    if (report.handedOver && !report.signatureChecked) {
        Diagnose(
            "tavrin: taking the update to version %d WITHOUT a signature check: "
            "this launcher has no update key (updateKey in config.ini)",
            report.offeredVersion);
    }
    if (!report.refusal.empty()) {
        // The old launcher goes on; whoever runs the service learns why from the log.
        Diagnose("tavrin: update to version %d refused: %s", report.offeredVersion,
                 report.refusal.c_str());
    }
    if (report.handedOver && report.configLeftOut) {
        Diagnose(
            "tavrin: the update's config.ini is left out: only a signed update may change "
            "players' settings");
    }
    for (const auto& [key, value] : report.handedOver ? report.movedConfig : ConfigValues{}) {
        Diagnose("tavrin: the update moves %s to %s", key.c_str(), value.c_str());
    }
    if (!report.updaterProgram.empty() && !report.handedOver && !report.cancelled) {
        Diagnose("tavrin: the updater %s could not be started; this launcher goes on",
                 report.updaterProgram.c_str());
    }
}

}  // namespace

UpdateReport UpdateThreadProc(const UpdateSettings& settings) {
    // Nothing may leave the thread: an exception there would end the launcher, and a failed
    // check must only mean no update this time.
    try {
        // A launcher installed for the whole system sits in a folder the player cannot
        // write: the updater could not replace it, and the system's packages update it.
        if (!platform::CanCreateEntriesIn(GetModuleDir())) {
            Diagnose(
                "tavrin: the program folder %s is read-only (installed for the whole "
                "system): no self-update, the system's package manager updates it",
                GetModuleDir().c_str());
            return {};
        }
        const UpdateReport report = RunUpdateCheck(settings);
        LogUpdateReport(report, settings);
        return report;
    } catch (const std::exception& e) {
        Diagnose("tavrin: the update check failed (%s); going on without it", e.what());
    } catch (...) {
        Diagnose("tavrin: the update check failed; going on without it");
    }
    return {};
}

std::optional<std::thread> StartUpdateThread(std::function<void()> work) {
    try {
        return std::thread(std::move(work));
    } catch (const std::exception& e) {
        Diagnose("tavrin: the update check could not start (%s); going on without it", e.what());
        return std::nullopt;
    }
}

}  // namespace tavrin
