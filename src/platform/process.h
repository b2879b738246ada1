// The running process, as other processes see it.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin::platform {

std::uint32_t CurrentProcessId();

// Starts a program that lives on after this process has ended, with `argument` as its one
// argument (its whole command line on Windows). False when it could not be started.
bool StartDetached(const std::string& program, const std::string& argument);

// The first program file in the folder, in the file system's order: on Windows the first
// "*.exe", elsewhere the first regular file with an execute bit. Empty when there is none.
std::string FindFirstProgram(const std::string& folder);

}  // namespace tavrin::platform
