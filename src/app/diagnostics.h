// The launcher's diagnostics: every line goes to the error output and to a log file per
// base name in the user's state folder ("<base name>.log" beside the browser profile, never
// in the pruned data directory), so that an operator can learn why a player's start failed.
// The file stays small: past its limit the older lines move to "<base name>.log.1".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrin {

// "2026-12-08 09:10:11Z": a time in seconds since 1970, in UTC, as the log writes it.
std::string UtcTimeText(std::int64_t secondsSince1970);

// "<state folder>/<base name>.log", or "" without a usable base name or state folder.
std::string DiagnosticsFileFor(const std::string& stateFolder, const std::string& baseName);

// Lines from now on also go to `path` (made with its folder when missing); "" for the error
// output alone. The file is kept under `maxBytes`.
void SetDiagnosticsFile(const std::string& path, std::size_t maxBytes = 1024 * 1024);
// The file lines go to now ("" for none), for telling the player where it is.
std::string DiagnosticsFile();

// How much the launcher says: kInfo (the default) for start-up steps, failures and
// decisions; kDebug adds every request and answer and what the player's page prints.
enum class LogLevel { kInfo, kDebug };

// "info" or "debug", in any case; false for anything else.
bool ParseLogLevel(const std::string& text, LogLevel& level);
void SetLogLevel(LogLevel level);
LogLevel CurrentLogLevel();

// One line, printf-style, without its line break: on the error output as it is, in the file
// with the time (UTC) before it.
void Diagnose(const char* format, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// A line only for the debug level.
void DiagnoseDetail(const char* format, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// An address as a log may keep it: without its query and fragment, which can carry a
// player's session or password.
std::string AddressForLog(const std::string& url);

}  // namespace tavrin
