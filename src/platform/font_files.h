// Fonts of the player's system that can draw Chinese: the game's device-font text (宋体,
// 黑体, _sans ...) needs one, and the Flash player has none of its own.
#pragma once

#include <string>
#include <vector>

namespace tavrin::platform {

struct FontFile {
    std::string path;                   // the font or font collection file
    std::vector<std::string> families;  // the names text may ask for it by, best first
};

// The best regular sans-serif font with simplified Chinese glyphs (fontconfig on Linux, the
// Fonts folder on Windows); an empty path when the system has none.
FontFile FindChineseFont();

}  // namespace tavrin::platform
