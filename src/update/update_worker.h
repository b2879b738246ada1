// The update check that runs once per start, before any window exists: asks the update
// service for the launcher version it offers and, when that is newer than ours, downloads the
// updater and the new launcher, unpacks them into the data directory and starts the updater.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "app/version.h"
#include "update/config_keys.h"
#include "update/failed_update.h"
#include "update/update_progress.h"
#include "update/verification.h"

namespace tavrin {

struct UpdateSettings {
    std::string baseName;    // the program file's base name
    std::string dataDir;     // the data directory, with its separator
    std::string updateUrl;   // the platform configuration's update service
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
    // Where a version whose installation failed is recorded ("" for nowhere): that version is
    // left alone for a day.
    std::string failedUpdateFile;
    // This launcher was started by our updater, which may still be finishing: a check that
    // finds the data folder taken waits this long for it before it counts as busy.
    int waitForUpdaterMs = 0;
};

// What the worker found and did, for the application and for operators.
struct UpdateReport {
    bool checked = false;    // false when another copy was checking, or nothing could be
    bool described = false;  // the service's description arrived
    int offeredVersion = 0;
    bool handedOver = false;  // the updater was started: the launcher must end
    std::string updaterProgram;
    std::string updaterArgument;
    // The description's signature was checked (there was a key to check it with) and held.
    bool signatureChecked = false;
    // What became of the signature: "not required" (no key), "checked", "missing" (it could
    // not be fetched or is too large), "failed" (it does not verify, or the key is no key).
    std::string signature = "not required";
    // Why an offered update was not taken, when it was refused as untrustworthy.
    std::string refusal;
    // The player went on without the update; nothing it fetched was kept.
    bool cancelled = false;
    // Another copy of the launcher is updating right now (not merely pruning).
    bool busyElsewhere = false;
    // The settings the signed launcher package's config.ini moves players to, and whether an
    // unsigned package's config.ini was left out.
    ConfigValues movedConfig;
    bool configLeftOut = false;
    // The offered version failed to install less than a day ago: it was left alone.
    std::optional<FailedUpdate> skippedFailure;
};

// The mutex name prefix for finished downloads, derived from the data directory.
std::string DownloadMutexPrefix(const std::string& dataDir);

// The worker's steps; the data directory is emptied first. A dry run (for operators) does
// everything but start the updater.
UpdateReport RunUpdateCheck(const UpdateSettings& settings, bool dryRun = false);

// The check as start-up runs it on a thread of its own: what it found is logged for the
// operator. Throws nothing: a check that fails (memory, a read-only program folder) is no
// update, and the report says nothing was checked.
UpdateReport UpdateThreadProc(const UpdateSettings& settings);

// Starts the thread the check runs on while start-up waits. A thread that cannot be started
// means no update this time: none is returned, and the log says so.
std::optional<std::thread> StartUpdateThread(std::function<void()> work);

}  // namespace tavrin
