// tavrin-tool extract: a ZIP archive unpacked as the update does it.
#include <cstdio>
#include <cstdlib>

#include "tool/tool_options.h"
#include "update/archive.h"

namespace tavrin::tool {

const char* const kExtractHelp =
    "  extract  unpack a ZIP archive into FOLDER as the update does; on failure the\n"
    "           archive result code of the failed call is on stderr\n";

int RunExtract(const Args& args) {
    Args paths;
    if (!ParseArguments(args, {}, 2, paths)) {
        return kExitUsage;
    }
    if (tavrin::ExtractArchive(paths[0], paths[1])) {
        return kExitOk;
    }
    // The codes (0x400 ...) do not fit an exit status, which is one byte.
    std::fprintf(stderr, "tavrin-tool: cannot unpack %s (result 0x%x)\n", paths[0].c_str(),
                 static_cast<unsigned>(tavrin::ArchiveLastResult()));
    return kExitFailed;
}

}  // namespace tavrin::tool
