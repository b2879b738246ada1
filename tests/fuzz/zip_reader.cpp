// Update packages: the input is opened as an archive in memory, every entry is described and
// unpacked. Entries go into a private folder three levels below this process's own; after
// each input the levels above must hold nothing but the way down, so a name that climbed out
// of the folder is seen.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_check.h"
#include "update/archive.h"

namespace {

namespace fs = std::filesystem;
using tavrin::fuzz::Check;

class Sandbox {
public:
    Sandbox() {
        std::error_code error;
        // Memory-backed when the system has it: each input writes and deletes files.
        const fs::path base =
            fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "tavrin-fuzz-zip-XXXXXX").string();
        Check(mkdtemp(pattern.data()) != nullptr, "a private folder");
        m_top = pattern;
        fs::create_directories(m_top / "a" / "b" / "root", error);
        Check(!error, "the folders below it");
        m_root = (m_top / "a" / "b" / "root").string() + "/";
    }
    ~Sandbox() {
        std::error_code error;
        fs::remove_all(m_top, error);
    }

    const std::string& Root() const { return m_root; }

    // Checks that nothing left the root, then empties it.
    void Clear() const {
        Check(OnlyChild(m_top, "a") && OnlyChild(m_top / "a", "b") &&
                  OnlyChild(m_top / "a" / "b", "root"),
              "nothing is written outside the root folder");
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(m_root, error)) {
            fs::remove_all(entry.path(), error);
        }
        Check(fs::is_empty(m_root, error), "the root folder empties");
    }

private:
    static bool OnlyChild(const fs::path& folder, const char* name) {
        std::error_code error;
        int count = 0;
        bool named = false;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
            ++count;
            named = entry.path().filename() == name && entry.is_directory(error) &&
                    !entry.is_symlink(error);
        }
        return !error && count == 1 && named;
    }

    fs::path m_top;
    std::string m_root;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Sandbox sandbox;
    int result = 0;
    tavrin::ArchiveHandle* archive = tavrin::ArchiveOpenMemory(data, size, sandbox.Root(), result);
    Check((archive != nullptr) == (result == tavrin::kArchiveOk), "a handle exactly on success");
    if (archive != nullptr) {
        tavrin::ArchiveEntry count;
        Check(tavrin::ArchiveGetEntry(archive, -1, count) == tavrin::kArchiveOk, "a count");
        // Stops at the first entry that cannot be described, as the updater does: a count
        // from a damaged end record may be far larger than the entries there are.
        for (int i = 0; i < count.index; ++i) {
            tavrin::ArchiveEntry entry;
            if (tavrin::ArchiveGetEntry(archive, i, entry) != tavrin::kArchiveOk) {
                break;
            }
            Check(entry.index == i && entry.name.size() < tavrin::kArchiveNameSize,
                  "an entry described as asked");
            const bool unpacked =
                tavrin::ArchiveExtractEntry(archive, i, entry.name) == tavrin::kArchiveOk;
            Check(!unpacked || entry.name.find('\0') == std::string::npos,
                  "no name is unpacked cut short at a NUL byte");
            if (unpacked && (entry.attributes & tavrin::kAttrDirectory) == 0) {
                std::string path = sandbox.Root() + entry.name;
                std::replace(path.begin(), path.end(), '\\', '/');
                std::error_code error;
                const auto written = static_cast<std::uint32_t>(fs::file_size(path, error));
                Check(!error && written == static_cast<std::uint32_t>(entry.uncompressedSize),
                      "an unpacked file has the size its entry gives");
            }
        }
        tavrin::ArchiveClose(archive);
    }
    sandbox.Clear();
    return 0;
}
