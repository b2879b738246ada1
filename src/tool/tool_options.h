// What every command of tavrin-tool shares: its exit statuses, its options and their parser,
// and its way of printing values.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tavrin::tool {

using Args = std::vector<std::string>;

// Exit statuses, as the usage text's table names them.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitFetchFailed = 1;     // config, update-check: no document, or no check
constexpr int kExitUnusable = 3;        // config: the document holds no configuration
constexpr int kExitDownloadFailed = 3;  // download
constexpr int kExitNotFound = 4;        // download: the server has no such file
constexpr int kExitClosed = 4;          // config --client --check: the game cannot be entered
constexpr int kExitFailed = 1;          // extract, sign-update, socket-policy

struct Option {
    std::string name;
    std::function<bool(const std::string& value)> set;  // false: the value is not valid
    bool flag = false;
};

// `--name TEXT`; `given`, when there is one, becomes 1 with it.
Option Text(const char* name, std::string& field, int* given = nullptr);
bool ParseNumber(const std::string& text, long& value);
template <typename T>
Option Number(const char* name, T& field, long min, long max) {
    return {name, [&field, min, max](const std::string& text) {
                long value = 0;
                if (!ParseNumber(text, value) || value < min || value > max) {
                    return false;
                }
                field = static_cast<T>(value);
                return true;
            }};
}

// A time-out in milliseconds, or with its unit: "500ms", "10s", "2m".
bool ParseDuration(const std::string& text, int& ms);
Option Duration(const char* name, int& field);
// A secret taken from the environment or from the first line of a file, so that it need
// not stand on the command line, where other users' process lists show it.
Option SecretFromEnvironment(const char* name, std::string& field);
Option SecretFromFile(const char* name, std::string& field);

// The one parser of every command: applies the options in args in order and collects the
// other arguments, of which there must be `count`. A command without options takes every
// argument as it is. On bad input it says why on stderr (the usage text for a wrong count of
// arguments) and returns false.
bool ParseArguments(const Args& args, const std::vector<Option>& options, std::size_t count,
                    Args& positional);

void PrintValue(const char* name, const std::string& value);
// The usage of every command (tavrin_tool.cpp).
void PrintUsage(std::FILE* to);

// The commands, one file each: what each does, and the command itself.
extern const char* const kConfigHelp;
int RunConfig(const Args& args);
extern const char* const kDownloadHelp;
int RunDownload(const Args& args);
extern const char* const kExtractHelp;
int RunExtract(const Args& args);
extern const char* const kUpdateCheckHelp;
int RunUpdateCheck(const Args& args);
extern const char* const kSignUpdateHelp;
int RunSignUpdate(const Args& args);
extern const char* const kMovieInfoHelp;
int RunMovieInfo(const Args& args);
extern const char* const kSocketPolicyHelp;
int RunSocketPolicy(const Args& args);

}  // namespace tavrin::tool
