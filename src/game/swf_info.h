// What a Flash movie's file says of itself before it plays: its format and its stage. An
// operator moving a game to the launcher wants to know what the player is given; the
// launcher's reports use it.
//
// A SWF file starts with "FWS" (plain), "CWS" (the rest zlib-compressed, version 6 and
// later) or "ZWS" (LZMA, version 13 and later), the version byte and the uncompressed
// length; then the stage rectangle in twips, the frame rate (8.8 fixed point) and count,
// and the tags, of which FileAttributes (69) comes first from version 8 on and says whether
// the movie is ActionScript 3.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin {

struct SwfInfo {
    enum class Compression { kNone, kZlib, kLzma };
    enum class Script { kUnknown, kAs1Or2, kAs3 };

    Compression compression = Compression::kNone;
    int version = 0;
    std::uint32_t fileLength = 0;  // uncompressed, as the header says
    // The fields below are read (false for an LZMA movie, whose body is not unpacked here).
    bool bodyRead = false;
    double stageWidth = 0;  // pixels
    double stageHeight = 0;
    double frameRate = 0;
    int frameCount = 0;
    Script script = Script::kUnknown;
    bool usesNetwork = false;  // FileAttributes' UseNetwork: local movies may use the network
};

// Reads the beginning of a movie (the whole file, or at least its first few kilobytes).
// False, with `error` saying why, for anything that is not a SWF file or is cut before its
// stage and frame fields.
bool ReadSwfInfo(std::string_view bytes, SwfInfo& out, std::string* error = nullptr);

// "ActionScript 3", "zlib" and so on, for reports.
const char* ScriptName(SwfInfo::Script script);
const char* CompressionName(SwfInfo::Compression compression);

}  // namespace tavrin
