#include <windows.h>

#include "platform/temp_dir.h"

namespace tavrin::platform {

namespace {

constexpr int kAttempts = 100;

// A name part no earlier attempt (of this process or another) is likely to have taken; a
// taken one only costs another attempt, as CreateDirectory never opens an existing folder.
std::string UniquePart(int attempt) {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter.QuadPart) + "-" +
           std::to_string(attempt);
}

}  // namespace

std::string MakePrivateTempDir(const std::string& prefix) {
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof buffer, buffer);
    if (n == 0 || n > MAX_PATH) {
        return {};
    }
    const std::string base(buffer, n);  // ends with a backslash
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string path = base + prefix + UniquePart(attempt);
        if (CreateDirectoryA(path.c_str(), nullptr)) {
            return path + '\\';
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
    }
    return {};
}

}  // namespace tavrin::platform
