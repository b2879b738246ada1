// Where the program is and where its data goes. Paths are byte strings in the active code
// page; separators are searched character by character (platform/codepage.h). Folder paths
// handed out here end with the separator.
#pragma once

#include <string>

namespace tavrin {

// The program file's name without folder and without its last extension. A name without a
// dot is its own base name; only a name that starts with its only dot (".exe") gives an
// empty one.
std::string ComputeBaseName(const std::string& modulePath);

// The last part of a path, and the folder before it with its trailing separator (empty when
// the path has no separator).
std::string FileNameOf(const std::string& path);
std::string FolderOf(const std::string& path);

std::string GetModulePath();
// Folder of the program file with its trailing separator; empty when the path has none.
std::string GetModuleDir();

// False for a base name that names no folder of its own: empty, or only dots and blanks
// ("." from "..tavrin", ".." from "...x"; Windows drops trailing dots and blanks, so "..."
// and ". " are "." or ".." there). A folder made from it would be its parent, or above.
bool IsUsableBaseName(const std::string& baseName);

// The local application data folder, the base name and a separator; empty when either is
// missing or the base name is not usable, since the folder would then be the whole local
// data folder, its parent, or one at the root ("/<base name>/").
std::string GetDataDir();
std::string DataDirFor(const std::string& localAppData, const std::string& baseName);

}  // namespace tavrin
