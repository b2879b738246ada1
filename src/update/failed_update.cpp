#include "update/failed_update.h"

#include <cstdio>

#include "app/diagnostics.h"
#include "platform/file_output.h"
#include "platform/profile.h"

namespace tavrin {

std::string FailedUpdateFileFor(const std::string& stateFolder, const std::string& baseName) {
    const std::string log = DiagnosticsFileFor(stateFolder, baseName);
    return log.empty() ? log : log.substr(0, log.size() - 4) + ".update-failed";
}

bool ReadFailedUpdate(const std::string& file, FailedUpdate& record) {
    const std::string version = platform::ReadProfileString("failed", "version", "", 16, file);
    const std::string when = platform::ReadProfileString("failed", "time", "", 32, file);
    if (version.empty() || version.find_first_not_of("0123456789") != std::string::npos ||
        version.size() > 9 || when.empty() ||
        when.find_first_not_of("0123456789") != std::string::npos || when.size() > 18) {
        return false;
    }
    record.version = std::stoi(version);
    record.when = std::stoll(when);
    record.reason = platform::ReadProfileString("failed", "reason", "", 1024, file);
    return true;
}

bool WriteFailedUpdate(const std::string& file, const FailedUpdate& record) {
    std::string reason = record.reason;
    for (char& c : reason) {
        c = (c == '\r' || c == '\n') ? ' ' : c;
    }
    const std::string text = "[failed]\r\nversion=" + std::to_string(record.version) +
                             "\r\ntime=" + std::to_string(record.when) + "\r\nreason=" + reason +
                             "\r\n";
    platform::OutputFile out;
    return !file.empty() && out.Create(file, false, 0) && out.Write(text.data(), text.size()) &&
           out.Close();
}

bool SkipsFailedUpdate(const FailedUpdate& record, int offeredVersion, std::int64_t now) {
    return record.version == offeredVersion && now >= record.when &&
           now - record.when < kRetryFailedUpdateAfterSeconds;
}

std::string FailedUpdateTime(std::int64_t when) {
    return UtcTimeText(when);
}

}  // namespace tavrin
