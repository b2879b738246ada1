#include "support/temp_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system_paths.h"

namespace tavrin::test {

namespace {
std::atomic<unsigned> g_counter{0};
}

TempDir::TempDir() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("tavrin-test-" + std::to_string(stamp) + "-" + std::to_string(g_counter++));
    std::filesystem::create_directories(folder);
    m_path = folder.string() + platform::PathSeparator();
}

TempDir::~TempDir() {
    // The core's own deletion: it handles names in the active code page, which the tests
    // create on purpose.
    platform::DeleteDirContents(m_path);
    platform::RemoveDirectoryEntry(m_path);
}

std::string TempDir::operator/(const std::string& relative) const {
    std::string path = m_path + relative;
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(m_path.size()), path.end(), '/',
                 platform::PathSeparator());
    return path;
}

void TempDir::Write(const std::string& relative, const std::string& content) const {
    const std::string path = *this / relative;
    platform::CreateDirTree(
        path.substr(0, platform::FindLastMbChar(path, platform::PathSeparator())));
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    return std::to_string(platform::CurrentProcessId()) + "_" + std::to_string(++counter);
}

void MakeReadOnly(const std::string& path) {
    namespace fs = std::filesystem;
    fs::permissions(fs::path(path),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

}  // namespace tavrin::test
