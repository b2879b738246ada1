// tavrin-tool extract: a ZIP archive unpacked as the update does it.
#include <cstdio>
#include <cstdlib>

#include "tool/tool_options.h"
#include "update/archive.h"

namespace tavrin::tool {

const char* const kExtractHelp =
    "  extract  unpack a ZIP archive into FOLDER as the update does; on failure stderr\n"
    "           says why, on which entry, what was written, and the archive result code\n";

int RunExtract(const Args& args) {
    Args paths;
    if (!ParseArguments(args, {}, 2, paths)) {
        return kExitUsage;
    }
    ExtractReport report;
    if (tavrin::ExtractArchive(paths[0], paths[1], &report)) {
        return kExitOk;
    }
    // The codes (0x400 ...) do not fit an exit status, which is one byte.
    std::fprintf(stderr, "tavrin-tool: cannot unpack %s: %s%s%s (result 0x%x)\n", paths[0].c_str(),
                 report.error.c_str(), report.failedEntry.empty() ? "" : ", at ",
                 report.failedEntry.c_str(), static_cast<unsigned>(tavrin::ArchiveLastResult()));
    if (!report.written.empty()) {
        std::fprintf(stderr, "tavrin-tool: %s is incomplete; written in full:\n", paths[1].c_str());
        for (const std::string& name : report.written) {
            std::fprintf(stderr, "  %s\n", name.c_str());
        }
    }
    return kExitFailed;
}

}  // namespace tavrin::tool
