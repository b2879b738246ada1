// The running process, as other processes see it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::platform {

std::uint32_t CurrentProcessId();

// True when the process's error output goes to a terminal (a console window on Windows),
// where a progress line that rewrites itself can be read.
bool ErrorOutputIsTerminal();

// Starts a program that lives on after this process has ended, with `argument` as its one
// argument (its whole command line on Windows). False when it could not be started.
//
// `handedOn`: mutexes of this process (NamedMutex::Native, or HandedOnLocks) that the
// program holds for the rest of its life, so that they are released only when it ends (an
// updater still copying from the data folder after the launcher has gone). A program it
// starts with them in turn lets them go with ReleaseHandedOnLocks.
bool StartDetached(const std::string& program, const std::string& argument,
                   const std::vector<std::intptr_t>& handedOn = {});

// The one argument this program was started with (StartDetached's): on Windows the whole
// command line after the program's own name, unquoted, as a path in it may hold blanks;
// elsewhere argv[1]. Empty when there is none.
std::string SingleArgument(int argc, char** argv);

// The locks this process was handed by the one that started it, as the system's objects,
// for holding them and handing them on in turn; empty when it was handed none.
std::vector<std::intptr_t> HandedOnLocks();

// Makes the handed-on locks this process's own, as a lock it opened first would be: on
// Windows a mutex belongs to whoever owns it, not to every holder of a handle, so this waits
// at most `timeoutMs` for the process that handed them on to let them go (it does as it ends).
// A lock file's lock is the open file's, held already. False when one is still owned elsewhere.
bool OwnHandedOnLocks(int timeoutMs);

// In a process started by one that was handed our locks (an updater starting the new
// launcher): lets go of this process's copies of them, so that they end with the program
// that was given them. True when there were any: this process was started by that program.
bool ReleaseHandedOnLocks();

// The environment variable that names the handed-on locks.
inline constexpr const char* kHandedOnLocksVariable = "TAVRIN_HANDED_ON_LOCKS";

// Waits at most `timeoutMs` for the process that started this one to end, when that process
// runs the program at `programPath` (a parent running anything else counts as ended: the
// program's own process has gone already). False when it still runs at the time-out.
bool WaitForParentToEnd(const std::string& programPath, int timeoutMs);

// The names of the program files in the folder, in no particular order: on Windows the files
// whose names end in ".exe", elsewhere the regular files with an execute bit.
std::vector<std::string> ListPrograms(const std::string& folder);

}  // namespace tavrin::platform
