// The font the player draws the game's Chinese device text with (宋体, 黑体, _sans ...): the
// system's Chinese font, cut down to the characters Chinese game text is written in.
//
// The player copies a font it is handed into its own memory twice and keeps it for the whole
// game, and a whole Chinese face is some 16 MB with glyphs for Korean and Japanese, tables for
// vertical text and shaping it never reads. Its subset (the Chinese code page's characters:
// ASCII, Latin, Greek, Cyrillic, punctuation and symbols, kana, bopomofo, the CJK ideographs
// and the full-width forms) is about a third of that, with the same outlines and metrics. It
// takes a second or two to make, so it is made once per font file and kept in a cache folder.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/font_files.h"

namespace tavrin {

struct PlayerFont {
    std::string bytes;                  // an OpenType/TrueType font; empty when there is none
    std::vector<std::string> families;  // the names text may ask for it by, best first
};

// Where the subsets are kept: in the browser profile's folder, which outlives updates (the
// data folder is emptied by every update check). Empty when there is none.
std::string PlayerFontCacheFolder();

// Starts finding (or making) the font on a thread of its own, so that the game window finds it
// ready. `cacheFolder` (ending with a separator) keeps the subsets; empty keeps none. Only the
// first call counts.
void PreparePlayerFont(const std::string& cacheFolder);

// How long GetPlayerFont waits for the font: making it takes a second or two.
inline constexpr std::chrono::seconds kPlayerFontWait{30};

// The font, waiting for its preparation (at most kPlayerFontWait: past that, no font);
// prepared here without a cache when none was started. The bytes stay where they are for the
// rest of the run.
const PlayerFont& GetPlayerFont();

// The bytes for one font: its subset from the cache (a regular file there, whole by the
// checksum kept with it), or made (and kept there when the folder is not empty); the whole face
// when no subset can be made, empty when the font is unreadable.
std::string PlayerFontBytes(const platform::FontFile& font, const std::string& cacheFolder);

// Face `face` of a font file or collection, cut down to the characters above, with what the
// player never reads (hinting, vertical metrics, shaping tables) left out. False, with `error`
// saying why, for data that is not a font or a face the file does not have.
bool SubsetForChineseText(std::string_view fontFile, unsigned face, std::string& out,
                          std::string& error);

}  // namespace tavrin
