// The value the whole process shares: the program's own name, which names its data folder,
// log, profile, mutexes and windows. Start-up fills it on the main thread before any other
// thread starts; afterwards it is only read.
#pragma once

#include <string>

namespace tavrin {

// The program file's name without folder and last extension (ComputeBaseName).
extern std::string g_strBaseName;

}  // namespace tavrin
