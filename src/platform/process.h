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

class NamedMutex;

// Starts a program that lives on after this process has ended, with `argument` as its one
// argument (its whole command line on Windows). False when it could not be started.
//
// `handedOn`: mutexes of this process that the program holds for the rest of its life, so
// that they are released only when it ends (an updater still copying from the data folder
// after the launcher has gone). The programs it starts in turn receive them too, and let
// them go with ReleaseHandedOnLocks.
bool StartDetached(const std::string& program, const std::string& argument,
                   const std::vector<const NamedMutex*>& handedOn = {});

// In a process started by one that was handed our locks (an updater starting the new
// launcher): lets go of this process's copies of them, so that they end with the program
// that was given them. True when there were any: this process was started by that program.
bool ReleaseHandedOnLocks();

// The environment variable that names the handed-on locks.
inline constexpr const char* kHandedOnLocksVariable = "TAVRIN_HANDED_ON_LOCKS";

// The names of the program files in the folder, in no particular order: on Windows the files
// whose names end in ".exe", elsewhere the regular files with an execute bit.
std::vector<std::string> ListPrograms(const std::string& folder);

}  // namespace tavrin::platform
