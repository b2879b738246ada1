#include "update/install_journal.h"

#include "platform/file_output.h"
#include "platform/file_system.h"
#include "update/install.h"

namespace tavrin {

namespace {

std::function<void(int)>& StepHook() {
    static std::function<void(int)> hook;
    return hook;
}
int g_step = 0;

const char* StateName(JournalState state) {
    switch (state) {
        case JournalState::kCopying:
            return "copying";
        case JournalState::kSwapping:
            return "swapping";
        case JournalState::kDone:
            break;
    }
    return "done";
}

// Puts every old file back and takes away what the installation added; the names of the old
// files that could not go back (the new one in use, say).
std::vector<std::string> Undo(const std::string& target, const InstallJournal& journal) {
    std::vector<std::string> notRestored;
    for (const JournalFile& file : journal.files) {
        const std::string place = target + file.name;
        const bool newWaiting = platform::PathExists(place + kNewFileSuffix);
        if (platform::PathExists(place + kOldFileSuffix)) {
            if (!platform::PutFileInPlace(place + kOldFileSuffix, place)) {
                notRestored.push_back(file.name);
                continue;  // the copy stays beside, for the next try
            }
        } else if (journal.state == JournalState::kSwapping && !file.hadOld && !newWaiting) {
            platform::DeleteFileForced(place);  // it went in; it was not there before
        }
        platform::DeleteFileForced(place + kNewFileSuffix);
    }
    for (auto folder = journal.madeFolders.rbegin(); folder != journal.madeFolders.rend();
         ++folder) {
        platform::RemoveDirectoryEntry(target + *folder);
    }
    return notRestored;
}

}  // namespace

void SetInstallStepHook(std::function<void(int)> hook) {
    StepHook() = std::move(hook);
    g_step = 0;
}

void InstallStep() {
    if (StepHook()) {
        StepHook()(++g_step);
    }
}

bool WriteInstallJournal(const std::string& target, const InstallJournal& journal) {
    std::string text = std::string("state=") + StateName(journal.state) + "\n";
    for (const JournalFile& file : journal.files) {
        if (file.name.find('\n') != std::string::npos) {
            return false;
        }
        text += std::string("file=") + (file.hadOld ? "1 " : "0 ") + file.name + "\n";
    }
    for (const std::string& folder : journal.madeFolders) {
        text += "folder=" + folder + "\n";
    }
    // Written beside and then put in place: a journal is whole or the one before it.
    const std::string path = target + kInstallJournalName;
    platform::OutputFile out;
    return out.Create(path + kNewFileSuffix, false, 0) && out.Write(text.data(), text.size()) &&
           out.Flush() && out.Close() && platform::PutFileInPlace(path + kNewFileSuffix, path);
}

bool ReadInstallJournal(const std::string& target, InstallJournal& journal) {
    std::string text;
    if (!platform::ReadWholeFile(target + kInstallJournalName, text)) {
        return false;
    }
    journal = InstallJournal{};
    bool stated = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.rfind("state=", 0) == 0) {
            const std::string state = line.substr(6);
            journal.state = state == "done"       ? JournalState::kDone
                            : state == "swapping" ? JournalState::kSwapping
                                                  : JournalState::kCopying;
            stated = true;
        } else if (line.rfind("file=", 0) == 0 && line.size() > 7) {
            journal.files.push_back({line.substr(7), line[5] == '1'});
        } else if (line.rfind("folder=", 0) == 0) {
            journal.madeFolders.push_back(line.substr(7));
        }
    }
    return stated;
}

std::string RecoverInstallation(const std::string& target) {
    InstallJournal journal;
    if (!ReadInstallJournal(target, journal)) {
        return {};
    }
    std::string done = "undone";
    if (journal.state == JournalState::kDone) {
        for (const JournalFile& file : journal.files) {
            platform::DeleteFileForced(target + file.name + kOldFileSuffix);
        }
        done = "completed";
    } else if (const std::vector<std::string> notRestored = Undo(target, journal);
               !notRestored.empty()) {
        // The record stays, and the next start tries again.
        std::string names;
        for (const std::string& name : notRestored) {
            names += (names.empty() ? "" : ", ") + name;
        }
        return "not yet undone: the old " + names + " could not be put back";
    }
    platform::DeleteFileForced(target + kInstallJournalName);
    return done;
}

}  // namespace tavrin
