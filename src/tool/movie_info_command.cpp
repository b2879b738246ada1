// tavrin-tool movie-info: what a Flash movie's file says of itself.
#include <cstdio>
#include <fstream>
#include <string>

#include "game/swf_info.h"
#include "tool/tool_options.h"

namespace tavrin::tool {

const char* const kMovieInfoHelp =
    "  movie-info  print what a Flash movie's file says of itself: compression,\n"
    "           version, length, stage size, frame rate and count, ActionScript 1/2\n"
    "           or 3, whether it may use the network\n";

int RunMovieInfo(const Args& args) {
    Args paths;
    if (!ParseArguments(args, {}, 1, paths)) {
        return kExitUsage;
    }
    std::ifstream file(paths[0], std::ios::binary);
    std::string bytes(64 * 1024, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    tavrin::SwfInfo info;
    std::string error;
    if (!file.is_open() || !tavrin::ReadSwfInfo(bytes, info, &error)) {
        std::fprintf(stderr, "tavrin-tool: %s: %s\n", paths[0].c_str(),
                     file.is_open() ? error.c_str() : "cannot be read");
        return kExitFailed;
    }
    PrintValue("compression", tavrin::CompressionName(info.compression));
    PrintValue("version", std::to_string(info.version));
    PrintValue("length", std::to_string(info.fileLength));
    if (info.bodyRead) {
        char number[64];
        std::snprintf(number, sizeof number, "%gx%g", info.stageWidth, info.stageHeight);
        PrintValue("stage", number);
        std::snprintf(number, sizeof number, "%g", info.frameRate);
        PrintValue("frameRate", number);
        PrintValue("frames", std::to_string(info.frameCount));
        PrintValue("script", tavrin::ScriptName(info.script));
        PrintValue("network", info.usesNetwork ? "1" : "0");
    }
    return kExitOk;
}

}  // namespace tavrin::tool
