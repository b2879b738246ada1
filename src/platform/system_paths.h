// Where the program lives and where per-user data goes, as the system reports them.
#pragma once

#include <string>

namespace tavrin::platform {

// The separator of the platform's paths: '\\' on Windows, '/' elsewhere.
char PathSeparator();

// What an executable's file name ends with: ".exe" on Windows, nothing elsewhere.
const char* ExecutableSuffix();

// Full path of the running program file; empty when the system cannot tell.
std::string ModuleFileName();

// The user's local application data folder (Windows: CSIDL_LOCAL_APPDATA; elsewhere
// $XDG_DATA_HOME, else ~/.local/share); empty when it cannot be found.
std::string LocalAppDataFolder();

// Where per-user state that outlives the data directory's pruning goes (Windows: the local
// application data folder; elsewhere $XDG_STATE_HOME, else ~/.local/state); empty when it
// cannot be found.
std::string UserStateFolder();

}  // namespace tavrin::platform
