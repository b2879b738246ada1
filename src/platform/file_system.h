// The few file-system operations the core needs, each a thin wrapper over the system call.
// Failures come back as false; none of them throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::platform {

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);

// True when the path itself is a link (a junction or reparse point on Windows).
bool IsLink(const std::string& path);

// Creates one folder level; false when it could not be made (it exists, no right ...).
bool MakeDirectory(const std::string& path);

// Removes an empty folder, or a link to a folder without touching its target.
bool RemoveDirectoryEntry(const std::string& path);

// Lets the folder's entries and the folder itself be removed: clears its read-only
// attribute (Windows) or gives its owner the write bit (POSIX), as unpacked packages may
// carry read-only folders.
void AllowRemovingEntries(const std::string& folder);

// Deletes a file or a link, clearing a read-only attribute first.
bool DeleteFileForced(const std::string& path);

// Puts the file at `from` in the place of `to` in one step, replacing a file there (never a
// folder); false, with both left as they were, when it cannot (a folder or a locked file
// in the way, no right ...).
bool PutFileInPlace(const std::string& from, const std::string& to);

// Sets a file's modification time (seconds since 1970, UTC); false when it could not.
bool SetModificationTime(const std::string& path, std::int64_t secondsSince1970);

// A file's size and modification time (seconds since 1970); false when it is not there.
bool FileSizeAndTime(const std::string& path, std::uint64_t& size, std::int64_t& modified);

struct DirEntry {
    std::string name;
    // True only for a real folder; links and junctions are not folders here, so
    // recursive deletion removes them without walking into their targets.
    bool isFolder = false;
};

// The entries of a folder without "." and ".."; empty when it cannot be read.
std::vector<DirEntry> ListDirectory(const std::string& folder);

// Helpers built on the operations above, the same on every system. Paths are byte strings
// in the active code page; separators are searched character by character.

// True when the path ends with the platform separator as a whole character.
bool EndsWithSeparator(const std::string& path);

// True for a name Windows opens as a device whatever folder it is in ("NUL", "com1.txt",
// "AUX ", "CONIN$"): such a file name never reaches a file.
bool IsReservedDeviceName(const std::string& part);

// True when something exists at the path and it is not a folder.
bool IsExistingFile(const std::string& path);

// True where the system's file names ignore case (Windows), so that "Tavrin.exe" and
// "tavrin.exe" are one file.
bool FileNamesIgnoreCase();
// A file name (or path) as the system tells names apart: on Windows without case and without
// trailing dots and blanks, which Windows drops; elsewhere as it is.
std::string FoldedFileName(const std::string& name);
// True when the system takes both names for one file.
bool SameFileName(const std::string& a, const std::string& b);

// The whole file, byte for byte; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// The whole of a regular file of at most `maxBytes`, the one at `path` itself, never what a
// link there points to; false for a link, a folder, a pipe or a device (whose reading could
// wait forever), a larger file, or a failure. For files that anyone could have put there.
bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes);

// Creates the folder and every missing folder above it; false only for an empty path.
// Levels that cannot be made are passed over.
bool CreateDirTree(const std::string& path);

// Removes everything inside the folder (not the folder itself). Links are removed, never
// followed. Entries that cannot be removed stay, and so do the folders holding them.
void DeleteDirContents(const std::string& folder);

// Whether this process may make entries in the folder (found by making and removing one):
// permissions, access lists and read-only mounts all say no the same way.
bool CanCreateEntriesIn(const std::string& folder);

}  // namespace tavrin::platform
