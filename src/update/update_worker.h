// The update check that runs once per start, before any window exists: asks the update
// service for the launcher version it offers and, when that is newer than ours, downloads the
// updater and the new launcher, unpacks them into the data directory and starts the updater.
#pragma once

#include <functional>
#include <string>

#include "app/version.h"
#include "update/update_progress.h"
#include "update/verification.h"

namespace tavrin {

// The object whose address the worker thread gets: what the check is doing, for the
// window that shows it, and what came of it.
class CUpdate {
public:
    virtual ~CUpdate() = default;
    UpdateProgress m_progress;
    // Another copy of the launcher was in the middle of an update: this one must end.
    std::atomic<bool> m_bBusyElsewhere{false};
};

struct UpdateSettings {
    std::string baseName;    // g_strBaseName
    std::string dataDir;     // g_strDataDir, with its separator
    std::string updateUrl;   // PlatformConfig.updateUrl
    std::string modulePath;  // the running launcher's file
    // The Ed25519 public key descriptions must be signed with (64 hex digits), or "" to
    // check only the digests a description names. The built-in key by default; the launcher
    // passes ChooseUpdateKey's.
    std::string publicKey = kBuiltInUpdateKey;
    // How long the description and its signature, and the whole check, may hold the start.
    int documentsDeadlineMs = 20 * 1000;
    int checkDeadlineMs = 10 * 60 * 1000;
    // What the check is doing, and the player's cancel; none by default.
    UpdateProgress* progress = nullptr;
    // Starts the updater; the real one by default (tests record instead).
    std::function<bool(const std::string& program, const std::string& argument)> launch;
};

// What the worker found and did, for the application and for operators.
struct UpdateReport {
    bool checked = false;    // false when another copy was checking, or nothing could be
    bool described = false;  // the service's description arrived
    int offeredVersion = 0;
    bool handedOver = false;  // the updater was started: the launcher must end
    std::string updaterProgram;
    std::string updaterArgument;
    // The description's signature was checked (there was a key to check it with).
    bool signatureChecked = false;
    // Why an offered update was not taken, when it was refused as untrustworthy.
    std::string refusal;
    // The player went on without the update; nothing it fetched was kept.
    bool cancelled = false;
    // Another copy of the launcher is updating right now (not merely pruning).
    bool busyElsewhere = false;
};

// The mutex name prefix for finished downloads, derived from the data directory.
std::string DownloadMutexPrefix(const std::string& dataDir);

// The worker's steps; the data directory is emptied first. A dry run (for operators) does
// everything but start the updater.
UpdateReport RunUpdateCheck(const UpdateSettings& settings, bool dryRun = false);

// The thread entry: runs the check with the process-wide values and reports a hand-over
// through `handedOver`. Throws nothing: a check that fails (memory, a thread) is no update.
void UpdateThreadProc(void* arg, int& handedOver);

// Runs UpdateThreadProc on a thread of its own and waits for it, as start-up does before any
// window exists. A thread that cannot be started means no update this time: the launcher
// goes on, and says so on standard error.
void RunUpdateThread(CUpdate* update, int& handedOver);

}  // namespace tavrin
