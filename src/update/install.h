// What the updater does with a staged launcher: reads what the launcher handed it and puts
// the new files in place of the old ones, all of them or none.
#pragma once

#include <string>
#include <vector>

#include "update/config_keys.h"

namespace tavrin {

// The launcher's one argument to its updater: "LAUNCHER*GAMEFOLDER*NAME".
struct HandOver {
    std::string launcher;    // the running launcher's full path
    std::string gameFolder;  // the folder holding the new launcher, with its separator
    std::string name;        // the program's base name
};

// False, with the reason, when the argument is not three parts that fit together: a
// launcher, a folder ending in a separator and the launcher's own base name.
bool ParseHandOver(const std::string& argument, HandOver& handOver, std::string& error);

// The name a file takes beside its place while it waits to go in, and the old one's while
// it waits to go.
inline constexpr const char* kNewFileSuffix = ".tavrin-new";
inline constexpr const char* kOldFileSuffix = ".tavrin-old";

struct InstallReport {
    std::vector<std::string> installed;  // names below the target, as installed
    std::vector<std::string> kept;       // carried by the package but left as they were
    std::vector<std::string> leftOver;   // old files that could not be removed afterwards
    ConfigValues moved;                  // the settings config.ini took from the package
    std::string error;                   // why nothing was installed
    bool rolledBack = false;  // files had been replaced and were to get their old ones back
    std::vector<std::string> notRestored;  // of those, the ones whose old file could not go back
                                           // (it waits beside as NAME.tavrin-old)
};

// Installs every file below `staged` into `target` under the same names, making folders as
// needed. Each file is first copied beside its place (NAME.tavrin-new); then each old file is
// copied aside (NAME.tavrin-old) and the new one replaces it in one step; only when all are in
// are the old ones removed. A failure at any step puts back every file already replaced and
// removes the copies and the folders made: `target` then holds its old files only. A record
// in `target` (install_journal.h) lets the next updater or launcher finish or undo an
// installation whose updater was ended part-way.
// config.ini already in `target` stays as it is but for the settings the staged config.ini
// moves (configUrl, updateKey; the launcher stages one only from a signed update), and so does
// everything the package does not carry.
bool InstallFiles(const std::string& staged, const std::string& target, InstallReport& report);

}  // namespace tavrin
