// Folder and path helpers shared by start-up, configuration and the update worker. Paths
// are byte strings in the active code page; separators are searched character by
// character (platform/codepage.h). Folder paths handed out here end with the separator.
#pragma once

#include <string>

namespace tavrin {

// The program file's name without folder and without its last extension. A name without a
// dot is its own base name; only a name that starts with its only dot (".exe") gives an
// empty one.
std::string ComputeBaseName(const std::string& modulePath);

// True when the path ends with the platform separator as a whole character.
bool EndsWithSeparator(const std::string& path);

std::string GetModulePath();
// Folder of the program file with its trailing separator; empty when the path has none.
std::string GetModuleDir();

// The local application data folder, the base name and a separator.
std::string GetDataDir();
std::string DataDirFor(const std::string& localAppData, const std::string& baseName);

// True when something exists at the path and it is not a folder.
bool IsExistingFile(const std::string& path);

// The whole file, byte for byte; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Creates the folder and every missing folder above it; false only for an empty path.
// Levels that cannot be made are passed over.
bool CreateDirTree(const std::string& path);

// Removes everything inside the folder (not the folder itself). Links are removed, never
// followed. Entries that cannot be removed stay, and so do the folders holding them.
void DeleteDirContents(const std::string& folder);

}  // namespace tavrin
