#include "app/diagnostics.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "app/program_paths.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/system_paths.h"

namespace tavrin {

namespace {

struct LogFile {
    std::mutex mutex;  // the update worker writes from its own thread
    std::string path;
    std::size_t maxBytes = 0;
};

LogFile& Log() {
    static LogFile log;
    return log;
}

std::size_t FileSize(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return size > 0 ? static_cast<std::size_t>(size) : 0;
}

void AppendToFile(LogFile& log, const std::string& line) {
    if (FileSize(log.path) + line.size() > log.maxBytes) {
        // The older lines move aside (one generation), so the file never grows past its
        // limit and the latest start is always whole in one of the two.
        const std::string older = log.path + ".1";
        std::remove(older.c_str());
        std::rename(log.path.c_str(), older.c_str());
    }
    if (std::FILE* file = std::fopen(log.path.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
    }
}

// The time of a line, the same on every system.
std::string Stamp() {
    using namespace std::chrono;
    return UtcTimeText(duration_cast<seconds>(system_clock::now().time_since_epoch()).count()) +
           " ";
}

}  // namespace

std::string UtcTimeText(std::int64_t secondsSince1970) {
    using namespace std::chrono;
    const sys_seconds at{seconds{secondsSince1970}};
    const auto day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{at - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string DiagnosticsFileFor(const std::string& stateFolder, const std::string& baseName) {
    if (stateFolder.empty() || !IsUsableBaseName(baseName)) {
        return {};
    }
    std::string folder = stateFolder;
    if (!platform::EndsWithSeparator(folder)) {
        folder += platform::PathSeparator();
    }
    return folder + baseName + ".log";
}

void SetDiagnosticsFile(const std::string& path, std::size_t maxBytes) {
    LogFile& log = Log();
    const std::lock_guard<std::mutex> lock(log.mutex);
    log.path = path;
    log.maxBytes = maxBytes;
    const std::size_t sep = platform::FindLastMbChar(path, platform::PathSeparator());
    if (sep != std::string::npos) {
        platform::CreateDirTree(path.substr(0, sep));
    }
}

std::string DiagnosticsFile() {
    LogFile& log = Log();
    const std::lock_guard<std::mutex> lock(log.mutex);
    return log.path;
}

namespace {

std::atomic<LogLevel> g_logLevel{LogLevel::kInfo};

void WriteLine(const char* format, va_list args) noexcept {
    char text[2048];
    std::vsnprintf(text, sizeof text, format, args);
    std::fprintf(stderr, "%s\n", text);
    // Diagnostics are said on the way out of failures, at a thread's edge too: the file is
    // worth less than going on, so nothing here may throw.
    try {
        LogFile& log = Log();
        const std::lock_guard<std::mutex> lock(log.mutex);
        if (!log.path.empty()) {
            AppendToFile(log, Stamp() + text + "\n");
        }
    } catch (...) {
    }
}

}  // namespace

bool ParseLogLevel(const std::string& text, LogLevel& level) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "info" || lower == "debug") {
        level = lower == "info" ? LogLevel::kInfo : LogLevel::kDebug;
        return true;
    }
    return false;
}

void SetLogLevel(LogLevel level) {
    g_logLevel = level;
}

LogLevel CurrentLogLevel() {
    return g_logLevel;
}

void Diagnose(const char* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    WriteLine(format, args);
    va_end(args);
}

void DiagnoseDetail(const char* format, ...) noexcept {
    if (g_logLevel != LogLevel::kDebug) {
        return;
    }
    va_list args;
    va_start(args, format);
    WriteLine(format, args);
    va_end(args);
}

std::string AddressForLog(const std::string& url) {
    const std::size_t cut = url.find_first_of("?#");
    return cut == std::string::npos ? url : url.substr(0, cut) + "?...";
}

}  // namespace tavrin
