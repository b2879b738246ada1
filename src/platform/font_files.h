// Fonts of the player's system that can draw Chinese: the game's device-font text (宋体,
// 黑体, _sans ...) needs one, and the Flash player has none of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrin::platform {

struct FontFile {
    std::string path;                   // the font or font collection file
    unsigned face = 0;                  // which font of a collection
    std::vector<std::string> families;  // the names text may ask for it by, best first
};

// The best regular sans-serif font with simplified Chinese glyphs (fontconfig on Linux, the
// Fonts folder on Windows); an empty path when the system has none.
FontFile FindChineseFont();

// One font of a TrueType/OpenType collection (.ttc) as a font file of its own: its tables
// and nothing of the collection's other fonts, which a player would otherwise load too. A
// plain font file is returned as it is for face 0. False, with `error` saying why, for data
// that is not a font or a face the collection does not have.
bool ExtractFontFace(std::string_view data, unsigned face, std::string& out, std::string& error);

}  // namespace tavrin::platform
