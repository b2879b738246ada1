// Values the whole process shares. Start-up fills them on the main thread before any other
// thread starts; afterwards they are only read.
#pragma once

#include <string>

namespace tavrin {

// The program file's name without folder and last extension (ComputeBaseName).
extern std::string g_strBaseName;

// The per-user data directory with its trailing separator (PrepareDataDir).
extern std::string g_strDataDir;

}  // namespace tavrin
