// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once

#include <string>

namespace tavrin::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, with its trailing separator.
    const std::string& Path() const { return m_path; }
    // Path() + relative, with '/' in `relative` turned into the platform separator.
    std::string operator/(const std::string& relative) const;

    // Writes a file (making its folders), in binary mode.
    void Write(const std::string& relative, const std::string& content) const;

private:
    std::string m_path;
};

std::string ReadFile(const std::string& path);

// A name part no other test process (they run side by side) uses: for system-wide names
// such as mutexes.
std::string UniqueSuffix();

// Marks a file read-only the platform's way (POSIX: no write bits; Windows: the attribute).
void MakeReadOnly(const std::string& path);

}  // namespace tavrin::test
