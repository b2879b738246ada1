#include "update/install.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "app/program_paths.h"
#include "platform/codepage.h"
#include "platform/file_output.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system_paths.h"
#include "update/install_journal.h"

namespace tavrin {

namespace {

std::string Sep() {
    return std::string(1, platform::PathSeparator());
}

}  // namespace

bool ParseHandOver(const std::string& argument, HandOver& handOver, std::string& error) {
    const std::size_t first = argument.find('*');
    const std::size_t second = first == std::string::npos ? first : argument.find('*', first + 1);
    if (second == std::string::npos || argument.find('*', second + 1) != std::string::npos) {
        error = "the argument is not LAUNCHER*GAMEFOLDER*NAME";
        return false;
    }
    handOver.launcher = argument.substr(0, first);
    handOver.gameFolder = argument.substr(first + 1, second - first - 1);
    handOver.name = argument.substr(second + 1);
    if (handOver.launcher.empty() || !platform::EndsWithSeparator(handOver.gameFolder)) {
        error = "the argument names no launcher, or a folder without its closing separator";
        return false;
    }
    // The name is that of the launcher's own file: it chooses the file the new one becomes.
    const std::string expected = handOver.name + platform::ExecutableSuffix();
    if (!IsUsableBaseName(handOver.name) ||
        platform::FindFirstMbChar(handOver.name, '/') != std::string::npos ||
        platform::FindFirstMbChar(handOver.name, '\\') != std::string::npos ||
        !platform::SameFileName(FileNameOf(handOver.launcher), expected)) {
        error = "the name \"" + handOver.name + "\" is not the launcher's own";
        return false;
    }
    return true;
}

namespace {

// The files below `folder`, as names relative to it, sorted; the folders they need, parents
// first.
void ListFiles(const std::string& folder, const std::string& prefix,
               std::vector<std::string>& files, std::vector<std::string>& folders) {
    std::vector<platform::DirEntry> entries = platform::ListDirectory(folder + prefix);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const platform::DirEntry& entry : entries) {
        if (entry.isFolder) {
            folders.push_back(prefix + entry.name);
            ListFiles(folder, prefix + entry.name + Sep(), files, folders);
        } else {
            files.push_back(prefix + entry.name);
        }
    }
}

// A plain copy through the core's file writer, flushed; programs stay programs.
bool CopyFile(const std::string& from, const std::string& to, bool program) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    platform::OutputFile out;
    bool ok = out.Create(to, false, program ? 0755 : 0);
    char buffer[64 * 1024];
    while (ok) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
        if (n == 0) {
            ok = std::ferror(in) == 0;
            break;
        }
        ok = out.Write(buffer, n);
    }
    std::fclose(in);
    // On the disk before it is renamed into place: a power cut then leaves it whole.
    ok = ok && out.Flush();
    return out.Close() && ok;
}

// One file on its way in.
struct Move {
    std::string name;  // below the target
    bool hadOld = false;
    bool swapped = false;
};

class Installation {
public:
    Installation(const std::string& staged, const std::string& target, InstallReport& report)
        : m_staged(staged), m_target(target), m_report(report) {}

    bool Run() {
        std::vector<std::string> files;
        std::vector<std::string> folders;
        ListFiles(m_staged, "", files, folders);
        if (files.empty()) {
            return Fail("the staged launcher folder " + m_staged + " holds no files", "");
        }
        // The record goes first, and follows each stage: whatever ends this program, the next
        // updater or launcher finishes or undoes what it finds (RecoverInstallation).
        InstallJournal journal;
        for (const std::string& folder : folders) {
            if (!platform::IsDirectory(m_target + folder)) {
                journal.madeFolders.push_back(folder);
            }
        }
        for (const std::string& name : files) {
            journal.files.push_back({name, false});
        }
        if (!WriteInstallJournal(m_target, journal)) {
            return Fail("cannot write the installation's record", kInstallJournalName);
        }
        InstallStep();
        const auto moving = [&] {
            journal.state = JournalState::kSwapping;
            journal.files.clear();
            for (const Move& move : m_moves) {
                journal.files.push_back({move.name, move.hadOld});
            }
            return WriteInstallJournal(m_target, journal) ||
                   Fail("cannot write the installation's record", kInstallJournalName);
        };
        if (!MakeFolders(folders) || !CopyAll(files) || !moving() || (InstallStep(), !SwapAll())) {
            RollBack();
            // An old file that could not go back keeps the record: the next updater or
            // launcher puts it back.
            if (m_report.notRestored.empty()) {
                platform::DeleteFileForced(m_target + kInstallJournalName);
            }
            return false;
        }
        journal.state = JournalState::kDone;
        WriteInstallJournal(m_target, journal);
        InstallStep();
        for (const Move& move : m_moves) {
            m_report.installed.push_back(move.name);
            const std::string old = m_target + move.name + kOldFileSuffix;
            if (move.hadOld && !platform::DeleteFileForced(old)) {
                m_report.leftOver.push_back(move.name + kOldFileSuffix);
            }
            InstallStep();
        }
        platform::DeleteFileForced(m_target + kInstallJournalName);
        return true;
    }

private:
    bool Fail(const std::string& why, const std::string& name) {
        m_report.error = name.empty() ? why : why + ": " + name;
        return false;
    }

    bool MakeFolders(const std::vector<std::string>& folders) {
        for (const std::string& folder : folders) {
            const std::string place = m_target + folder;
            if (platform::PathCrossesLink(m_target, folder)) {
                return Fail("a folder of the launcher is a link", folder);
            }
            if (platform::IsDirectory(place)) {
                continue;
            }
            if (!platform::MakeDirectory(place)) {
                return Fail("cannot make the folder", folder);
            }
            m_madeFolders.push_back(place);
        }
        return true;
    }

    bool CopyAll(const std::vector<std::string>& files) {
        for (const std::string& name : files) {
            const std::string place = m_target + name;
            // The player's or the operator's settings are theirs, whatever the package holds,
            // but for the service's address and key the operator moves everyone to.
            if (platform::SameFileName(name, "config.ini") && platform::PathExists(place)) {
                if (!MoveSettings(name)) {
                    return false;
                }
                continue;
            }
            if (platform::PathCrossesLink(m_target, name)) {
                return Fail("the file's place is reached through a link", name);
            }
            Move move{name, platform::IsExistingFile(place)};
            m_moves.push_back(move);
            if (!CopyFile(m_staged + name, place + kNewFileSuffix, IsStagedProgram(name))) {
                return Fail("cannot write the new file beside the old one", name);
            }
            InstallStep();
        }
        return true;
    }

    // config.ini with the staged one's movable settings goes in like any new file; without
    // any to move (or with ones that would break it) the player's stays untouched.
    bool MoveSettings(const std::string& name) {
        const std::string place = m_target + name;
        std::string staged;
        std::string player;
        const ConfigValues values = platform::ReadWholeFile(m_staged + name, staged)
                                        ? MovableConfigValues(staged)
                                        : ConfigValues{};
        if (values.empty() || !CheckMovableConfigValues(values).empty() ||
            !platform::ReadWholeFile(place, player)) {
            m_report.kept.push_back(name);
            return true;
        }
        const std::string merged = WithConfigValues(player, values);
        m_moves.push_back(Move{name, true});
        platform::OutputFile out;
        if (!out.Create(place + kNewFileSuffix, false, 0) ||
            !out.Write(merged.data(), merged.size()) || !out.Close()) {
            return Fail("cannot write the new settings beside the old ones", name);
        }
        m_report.moved = values;
        return true;
    }

    bool SwapAll() {
        for (Move& move : m_moves) {
            const std::string place = m_target + move.name;
            if (platform::IsDirectory(place)) {
                return Fail("a folder stands where the file goes", move.name);
            }
            // The old file is copied aside and the new one replaces it in one step: at no
            // moment is the launcher's file missing, whenever this program is ended.
            if (move.hadOld &&
                !CopyFile(place, place + kOldFileSuffix, IsStagedProgram(move.name))) {
                return Fail("cannot keep a copy of the old file", move.name);
            }
            InstallStep();
            if (!platform::PutFileInPlace(place + kNewFileSuffix, place)) {
                return Fail("cannot put the new file in place (is the old one in use?)", move.name);
            }
            move.swapped = true;
            InstallStep();
        }
        return true;
    }

    // Whether the staged file is a program (listed once per folder: a package holds many files).
    bool IsStagedProgram(const std::string& relative) {
        const std::string parent = FolderOf(relative);
        auto listed = m_programs.find(parent);
        if (listed == m_programs.end()) {
            listed = m_programs.emplace(parent, platform::ListPrograms(m_staged + parent)).first;
        }
        const std::vector<std::string>& programs = listed->second;
        return std::find(programs.begin(), programs.end(), FileNameOf(relative)) != programs.end();
    }

    // Back to the old files, newest change first.
    void RollBack() {
        for (auto move = m_moves.rbegin(); move != m_moves.rend(); ++move) {
            const std::string place = m_target + move->name;
            if (move->swapped) {
                m_report.rolledBack = true;
                const bool restored = move->hadOld
                                          ? platform::PutFileInPlace(place + kOldFileSuffix, place)
                                          : platform::DeleteFileForced(place);
                if (!restored) {
                    m_report.notRestored.push_back(move->name);
                }
            } else if (move->hadOld) {
                platform::DeleteFileForced(place + kOldFileSuffix);  // the copy kept aside
            }
            platform::DeleteFileForced(place + kNewFileSuffix);
        }
        for (auto folder = m_madeFolders.rbegin(); folder != m_madeFolders.rend(); ++folder) {
            platform::RemoveDirectoryEntry(*folder);
        }
    }

    const std::string& m_staged;
    const std::string& m_target;
    InstallReport& m_report;
    std::vector<Move> m_moves;
    std::vector<std::string> m_madeFolders;
    std::map<std::string, std::vector<std::string>> m_programs;  // by staged folder
};

}  // namespace

bool InstallFiles(const std::string& staged, const std::string& target, InstallReport& report) {
    report = InstallReport{};
    return Installation(staged, target, report).Run();
}

}  // namespace tavrin
