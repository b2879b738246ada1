// tavrin-tool: the operators' command line over the launcher's core. Each command uses the
// same code as the launcher, so what it prints is what the launcher would see. One file per
// command (*_command.cpp); their options and exit statuses in tool_options.h.
#include <algorithm>
#include <cstdio>
#include <string>

#include "app/app_globals.h"
#include "app/program_paths.h"
#include "app/version.h"
#include "tool/tool_options.h"

namespace tavrin::tool {

namespace {

// Every exit status of every command, in one table: scripts test them.
const char* const kExitStatusHelp =
    "exit status:\n"
    "  0  ok          done: printed, downloaded, unpacked, checked or signed\n"
    "  1  failed      config: the document could not be fetched; update-check: no\n"
    "                 check could run or the service's description did not arrive;\n"
    "                 extract, sign-update: failed (reason on stderr); socket-policy:\n"
    "                 the movie may not connect, or (without --movie) no policy;\n"
    "                 movie-info: the file cannot be read or is no Flash movie\n"
    "  2  usage       a command line that is not understood\n"
    "  3  unusable    config: the document holds no configuration; download: failed\n"
    "  4  not found   download: the server has no such file; config --client --check:\n"
    "                 the game cannot be entered (isOpen is not 1)\n";

struct Command {
    const char* name;
    const char* usage;  // its arguments, for the usage text's first lines
    const char* help;   // what it does
    int (*run)(const Args& args);
};

const Command kCommands[] = {
    {"config", "[--ini PATH] [--platform N] [--client URL]", kConfigHelp, RunConfig},
    {"download", "[OPTIONS] URL FILE", kDownloadHelp, RunDownload},
    {"extract", "ARCHIVE FOLDER", kExtractHelp, RunExtract},
    {"update-check", "[--ini PATH] [--data FOLDER [--force]] [--public-key HEX]", kUpdateCheckHelp,
     RunUpdateCheck},
    {"sign-update", "KEY DESCRIPTION", kSignUpdateHelp, RunSignUpdate},
    {"movie-info", "FILE", kMovieInfoHelp, RunMovieInfo},
    {"socket-policy", "[--movie URL] [--master-port N] HOST:PORT", kSocketPolicyHelp,
     RunSocketPolicy},
};

}  // namespace

void PrintUsage(std::FILE* to) {
    const char* lead = "usage: ";
    for (const Command& command : kCommands) {
        std::fprintf(to, "%stavrin-tool %s %s\n", lead, command.name, command.usage);
        lead = "       ";
    }
    std::fputs("       tavrin-tool --version\n", to);
    for (const Command& command : kCommands) {
        std::fprintf(to, "\n%s", command.help);
    }
    std::fprintf(to, "\n%s", kExitStatusHelp);
}

}  // namespace tavrin::tool

using namespace tavrin::tool;

int main(int argc, char** argv) {
    tavrin::g_strBaseName = tavrin::ComputeBaseName(tavrin::GetModulePath());
    const Args args(argv + std::min(argc, 2), argv + argc);
    const std::string name = argc > 1 ? argv[1] : "";
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (name == "--version") {
        std::printf("tavrin-tool %s\n", tavrin::kLauncherVersionText);
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        const bool help = std::any_of(args.begin(), args.end(), [](const std::string& a) {
            return a == "--help" || a == "-h";
        });
        if (name == command.name && help) {
            std::printf("usage: tavrin-tool %s %s\n\n%s\n%s", command.name, command.usage,
                        command.help, kExitStatusHelp);
            return kExitOk;
        }
        if (name == command.name) {
            return command.run(args);
        }
    }
    PrintUsage(stderr);
    return kExitUsage;
}
