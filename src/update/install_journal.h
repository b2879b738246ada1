// The installation's own record in the launcher's folder (".tavrin-install"), written before
// anything there changes and kept up to date as the installation goes, so that an updater
// killed at any point leaves work that the next updater, or the next launcher, finishes (when
// every new file was in) or undoes (otherwise): never a mix of old and new files.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tavrin {

inline constexpr const char* kInstallJournalName = ".tavrin-install";

enum class JournalState { kCopying, kSwapping, kDone };

struct JournalFile {
    std::string name;  // below the launcher's folder
    bool hadOld = false;
};

struct InstallJournal {
    JournalState state = JournalState::kCopying;
    std::vector<JournalFile> files;
    std::vector<std::string> madeFolders;  // made by the installation, parents first
};

bool WriteInstallJournal(const std::string& target, const InstallJournal& journal);
// False when there is none (or it cannot be read).
bool ReadInstallJournal(const std::string& target, InstallJournal& journal);

// Finishes or undoes the installation a killed updater left in `target`: "" when there was
// none, else what was done, for the log: "completed", "undone", or "not yet undone: ..." when
// an old file could not go back (its record then stays, and the next start tries again).
std::string RecoverInstallation(const std::string& target);

// Tests choose where an installation stops, as if its updater were killed there: the hook is
// told each step's number and may end the process (or throw, in a test).
void SetInstallStepHook(std::function<void(int step)> hook);
void InstallStep();

}  // namespace tavrin
