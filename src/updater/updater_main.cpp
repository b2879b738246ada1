// tavrin-update: the updater the launcher hands over to. It waits for the launcher to end,
// puts the new launcher's files (staged in the data folder's Game folder) in place of the old
// ones, every file or none, tells the system's list of programs the new version and starts the
// new launcher. The data folder's locks stay with it from the launcher's hand-over until the
// new launcher has them.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/data_dir.h"
#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "app/version.h"
#include "platform/file_system.h"
#include "platform/installed_program.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/system_paths.h"
#include "update/failed_update.h"
#include "update/install.h"
#include "update/install_journal.h"

namespace tavrin {

namespace {

// How long the launcher may take to end after handing over (it ends at once: this is for a
// machine under load), and the data folder's locks to come free when not handed on.
constexpr int kLauncherEndsWithinMs = 30000;

enum Exit {
    kUpdated = 0,
    kNotUpdated = 1,  // the old launcher stays; the reason is in the log
    kUsage = 2,
    kReadOnly = 3,      // the program folder cannot be written: the system's packages update it
    kBusy = 4,          // another copy works in the data folder
    kNotRestarted = 5,  // updated, but the new launcher could not be started
};

const char kUsageText[] =
    "usage: tavrin-update LAUNCHER*GAMEFOLDER*NAME\n"
    "The launcher starts it when it has staged a newer version: LAUNCHER is the running\n"
    "launcher's path, GAMEFOLDER the data folder's Game folder holding the new launcher\n"
    "(with its closing separator), NAME the program's base name. It waits for the launcher\n"
    "to end, replaces the launcher's files with the staged ones (keeping config.ini but for\n"
    "the configUrl and updateKey a staged config.ini moves, and everything the package does\n"
    "not carry; a failure puts every old file back), starts the new launcher and logs to the\n"
    "launcher's log.\n"
    "exit status: 0 updated, 1 not updated (old launcher kept), 2 usage, 3 read-only\n"
    "program folder, 4 another copy works in the data folder, 5 updated but the new\n"
    "launcher could not be started\n";

// The data folder's locks for the whole run: those the launcher handed on, or, when it could
// not (an updater started by hand, or as administrator), taken here once the launcher's go.
class HeldLocks {
public:
    bool Take(const std::string& name) {
        m_natives = platform::HandedOnLocks();
        if (!m_natives.empty()) {
            // Ours once the launcher has let them go, so that an updater started by hand
            // meanwhile waits for this one as it would for the launcher.
            if (!platform::OwnHandedOnLocks(kLauncherEndsWithinMs)) {
                return false;
            }
            Diagnose("tavrin-update: took over the data folder's locks the launcher handed on");
            return true;
        }
        for (const std::string& lock : {UpdateMutexName(name), UpdatingMutexName(name)}) {
            auto mutex = std::make_unique<platform::NamedMutex>(lock);
            if (!mutex->IsValid() ||
                (mutex->AlreadyExisted() && !mutex->TryLock(kLauncherEndsWithinMs))) {
                return false;
            }
            m_natives.push_back(mutex->Native());
            m_own.push_back(std::move(mutex));
        }
        Diagnose("tavrin-update: took the data folder's locks");
        return true;
    }
    const std::vector<std::intptr_t>& Natives() const { return m_natives; }

private:
    std::vector<std::intptr_t> m_natives;
    std::vector<std::unique_ptr<platform::NamedMutex>> m_own;
};

void LogInstalled(const InstallReport& report) {
    std::string names;
    for (const std::string& name : report.installed) {
        names += (names.empty() ? "" : ", ") + name;
    }
    Diagnose("tavrin-update: installed %s files: %s",
             std::to_string(report.installed.size()).c_str(), names.c_str());
    for (const auto& [key, value] : report.moved) {
        Diagnose("tavrin-update: config.ini: %s moved to %s by the update", key.c_str(),
                 value.c_str());
    }
    for (const std::string& name : report.kept) {
        Diagnose("tavrin-update: kept %s as it was (the package carries one too)", name.c_str());
    }
    for (const std::string& name : report.leftOver) {
        Diagnose("tavrin-update: could not remove the old %s; the next update removes it",
                 name.c_str());
    }
}

// What became of the files replaced before the failure.
std::string RollBackText(const InstallReport& report) {
    if (!report.rolledBack) {
        return {};
    }
    if (report.notRestored.empty()) {
        return "; the files replaced so far have their old ones back";
    }
    std::string names;
    for (const std::string& name : report.notRestored) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return "; could NOT put back the old " + names + " (each waits beside as NAME" +
           kOldFileSuffix + "); the other files replaced have their old ones back";
}

// The player gets the game back: the failed version is recorded, so that the old launcher
// goes on to its login window instead of handing over to it again, and the old launcher is
// started. Without a record it would hand over again at once, so it is then left to the
// player's next start.
void RestartAfterFailure(const HandOver& handOver, const InstallReport& report,
                         const HeldLocks& locks) {
    std::string dataDir = handOver.gameFolder.substr(0, handOver.gameFolder.size() - 1);
    dataDir = FolderOf(dataDir);
    FailedUpdate failed;
    failed.version = std::atoi(
        platform::ReadProfileString("update", "versionNum", "0", 16, dataDir + "update.ini")
            .c_str());
    failed.when = static_cast<std::int64_t>(std::time(nullptr));
    failed.reason = report.error;
    const std::string record = FailedUpdateFileFor(platform::UserStateFolder(), handOver.name);
    if (failed.version <= 0 || !WriteFailedUpdate(record, failed)) {
        Diagnose(
            "tavrin-update: the failed version could not be recorded in %s; the player's "
            "next start tries it again",
            record.c_str());
        return;
    }
    Diagnose("tavrin-update: version %d recorded as failed in %s", failed.version, record.c_str());
    if (platform::StartDetached(handOver.launcher, "", locks.Natives())) {
        Diagnose("tavrin-update: started the old launcher %s again", handOver.launcher.c_str());
    }
}

// Apps & features shows the version the new launcher names, not the one first installed.
void RecordNewVersion(const std::string& programFolder, const std::string& launcher) {
    const std::string version = platform::ProgramFileVersion(launcher);
    if (version.empty()) {
        return;
    }
    const int entries = platform::RecordInstalledVersion(programFolder, version);
    if (entries > 0) {
        Diagnose("tavrin-update: the system's list of programs shows version %s", version.c_str());
    }
}

int Update(const HandOver& handOver) {
    const std::string programFolder = FolderOf(handOver.launcher);
    const std::string staged = handOver.gameFolder + handOver.name + platform::ExecutableSuffix();
    if (!platform::IsExistingFile(handOver.launcher) || !platform::IsExistingFile(staged)) {
        Diagnose("tavrin-update: nothing to do: %s or the new launcher %s is missing",
                 handOver.launcher.c_str(), staged.c_str());
        return kNotUpdated;
    }
    HeldLocks locks;
    if (!locks.Take(handOver.name)) {
        Diagnose("tavrin-update: another copy of %s works in its data folder; not updating",
                 handOver.name.c_str());
        return kBusy;
    }
    if (!platform::WaitForParentToEnd(handOver.launcher, kLauncherEndsWithinMs)) {
        Diagnose("tavrin-update: the launcher has not ended after %d s; trying all the same",
                 kLauncherEndsWithinMs / 1000);
    }
    if (!platform::CanCreateEntriesIn(programFolder)) {
        Diagnose(
            "tavrin-update: the program folder %s is read-only (installed for the whole "
            "system): nothing replaced; the system's package manager updates it",
            programFolder.c_str());
        return kReadOnly;
    }
    // An updater killed before it ended leaves its record: its work is finished or undone
    // before any other begins.
    const std::string recovered = RecoverInstallation(programFolder);
    if (!recovered.empty()) {
        Diagnose("tavrin-update: an installation left unfinished in %s was %s",
                 programFolder.c_str(), recovered.c_str());
    }
    InstallReport report;
    if (!InstallFiles(handOver.gameFolder, programFolder, report)) {
        Diagnose("tavrin-update: the launcher in %s was not updated: %s%s", programFolder.c_str(),
                 report.error.c_str(), RollBackText(report).c_str());
        RestartAfterFailure(handOver, report, locks);
        return kNotUpdated;
    }
    LogInstalled(report);
    RecordNewVersion(programFolder, handOver.launcher);
    // The new launcher takes the locks over and lets them go: it waits for this program to
    // end before it works in the data folder.
    if (!platform::StartDetached(handOver.launcher, "", locks.Natives())) {
        Diagnose(
            "tavrin-update: the launcher is updated, but the new launcher %s could not be "
            "started; the player's next start runs it",
            handOver.launcher.c_str());
        return kNotRestarted;
    }
    Diagnose("tavrin-update: started the new launcher %s", handOver.launcher.c_str());
    return kUpdated;
}

}  // namespace

int UpdaterMain(int argc, char** argv) {
    const std::string argument = platform::SingleArgument(argc, argv);
    if (argument == "--version") {
        std::printf("tavrin-update %s\n", kLauncherVersionText);
        return kUpdated;
    }
    HandOver handOver;
    std::string error;
    if (argument == "--help" || !ParseHandOver(argument, handOver, error)) {
        if (argument != "--help") {
            std::fprintf(stderr, "tavrin-update: %s\n", error.c_str());
        }
        std::fputs(kUsageText, argument == "--help" ? stdout : stderr);
        return argument == "--help" ? kUpdated : kUsage;
    }
    SetDiagnosticsFile(DiagnosticsFileFor(platform::UserStateFolder(), handOver.name));
    // The tests end this program at a chosen step of the installation, as a crash or a
    // player ending it from the task manager would.
    if (const char* stop = std::getenv("TAVRIN_TEST_STOP_INSTALL_AT")) {
        const int at = std::atoi(stop);
        SetInstallStepHook([at](int step) {
            if (step == at) {
                std::_Exit(9);
            }
        });
    }
    Diagnose("tavrin-update %s: updating %s from %s", kLauncherVersionText,
             handOver.launcher.c_str(), handOver.gameFolder.c_str());
    return Update(handOver);
}

}  // namespace tavrin

int main(int argc, char** argv) {
    return tavrin::UpdaterMain(argc, argv);
}
