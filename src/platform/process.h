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
bool StartDetached(const std::string& program, const std::string& argument);

// The names of the program files in the folder, in no particular order: on Windows the files
// whose names end in ".exe", elsewhere the regular files with an execute bit.
std::vector<std::string> ListPrograms(const std::string& folder);

}  // namespace tavrin::platform
