// Writing a new file for an unpacked entry: created anew, never through a link, with the
// entry's permissions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrin::platform {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file anew (an existing one is emptied, a link is refused); false when it
    // cannot be made. A read-only file is
    // still writable through this object until it is closed. unixMode 0 means the usual
    // rw-r--r--.
    bool Create(const std::string& path, bool readOnly, std::uint32_t unixMode);
    bool Write(const char* data, std::size_t size);
    // Down to the disk: a file renamed into place after this is whole after a power cut too.
    bool Flush();
    bool Close();

private:
    std::intptr_t m_file = -1;
};

// Sets a file's access and modification times (seconds since 1970, UTC).
bool SetFileTimes(const std::string& path, std::int64_t accessed, std::int64_t modified);

// True when a component of `relative` below `root` exists as a link: writing there would
// leave the root folder.
bool PathCrossesLink(const std::string& root, const std::string& relative);

}  // namespace tavrin::platform
