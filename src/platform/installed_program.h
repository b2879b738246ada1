// The system's record of the installed launcher (Windows' Apps & features entry), kept in
// step when the launcher updates itself in place. On other systems the package manager keeps
// its own records and updates the program itself: there is nothing to keep in step.
#pragma once

#include <string>

namespace tavrin::platform {

// The product version a program file names in its version resource; empty when it has none.
std::string ProgramFileVersion(const std::string& file);

// Sets the version Apps & features shows for the current user's entries of the program
// installed in `folder` (those whose InstallLocation is the folder, or whose icon is a file
// in it) and returns how many it set.
int RecordInstalledVersion(const std::string& folder, const std::string& version);

}  // namespace tavrin::platform
