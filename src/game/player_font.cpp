#include "game/player_font.h"

#include <hb-subset.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>

#include "app/data_dir.h"
#include "app/diagnostics.h"
#include "platform/file_output.h"
#include "platform/file_system.h"
#include "platform/font_files.h"
#include "platform/system_paths.h"

namespace tavrin {

namespace {

// The characters of the Chinese code page (GBK) and their neighbours, as Unicode ranges.
struct Range {
    hb_codepoint_t first;
    hb_codepoint_t last;
};
constexpr Range kChineseTextRanges[] = {
    {0x0020, 0x007E},  // ASCII
    {0x00A0, 0x02FF},  // Latin-1, Latin extended (pinyin), IPA, spacing modifiers
    {0x0370, 0x045F},  // Greek, Cyrillic
    {0x2000, 0x206F},  // general punctuation
    {0x2100, 0x23FF},  // letter-like symbols, number forms, arrows, mathematics
    {0x2460, 0x27BF},  // enclosed numbers, box drawing, blocks, shapes, symbols, dingbats
    {0x2E80, 0x2FDF},  // CJK radicals
    {0x3000, 0x33FF},  // CJK punctuation, kana, bopomofo, strokes, enclosed and squared CJK
    {0x4E00, 0x9FFF},  // CJK unified ideographs
    {0xF900, 0xFAFF},  // CJK compatibility ideographs
    {0xFE10, 0xFE1F},  // vertical forms
    {0xFE30, 0xFE6F},  // CJK compatibility and small forms
    {0xFF00, 0xFFEF},  // half-width and full-width forms
};

// Tables the player never reads: it takes outlines, horizontal metrics, `kern` and the names.
constexpr hb_tag_t kUnreadTables[] = {
    HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'),
    HB_TAG('B', 'A', 'S', 'E'), HB_TAG('J', 'S', 'T', 'F'), HB_TAG('v', 'h', 'e', 'a'),
    HB_TAG('v', 'm', 't', 'x'), HB_TAG('V', 'O', 'R', 'G'), HB_TAG('D', 'S', 'I', 'G'),
};

// Bump when the subset's recipe changes: the cached ones are then made again.
constexpr int kRecipe = 1;

template <typename T, void (*Destroy)(T*)>
struct HbDeleter {
    void operator()(T* p) const { Destroy(p); }
};
using Blob = std::unique_ptr<hb_blob_t, HbDeleter<hb_blob_t, hb_blob_destroy>>;
using Face = std::unique_ptr<hb_face_t, HbDeleter<hb_face_t, hb_face_destroy>>;
using Input =
    std::unique_ptr<hb_subset_input_t, HbDeleter<hb_subset_input_t, hb_subset_input_destroy>>;

std::uint64_t Fnv1a(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash = (hash ^ std::uint8_t(c)) * 1099511628211ull;
    }
    return hash;
}

// The cache's name for a subset of this face of this file as it is now.
std::string CacheName(const platform::FontFile& font) {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    if (!platform::FileSizeAndTime(font.path, size, modified)) {
        return std::string();
    }
    const std::string key = font.path + '\n' + std::to_string(font.face) + '\n' +
                            std::to_string(size) + '\n' + std::to_string(modified) + '\n' +
                            std::to_string(kRecipe);
    char name[40];
    std::snprintf(name, sizeof name, "chinese-%016llx.otf",
                  static_cast<unsigned long long>(Fnv1a(key)));
    return name;
}

// A cached subset ends with the CRC-32 and length of what comes before it and this mark: a
// file cut short, zeroed or swapped by anything but this program is made again, not handed
// on. (zlib's sum has no state to tear down: the font's thread may still run while the
// launcher ends.)
constexpr std::string_view kCheckMark = "TVRNCRC1";
constexpr std::size_t kCheckSize = 12;  // the CRC-32 and the length, little-endian
// Far above any subset (a few MB): a bigger file at the cache's name is not ours.
constexpr std::size_t kLargestCachedFont = 64u << 20;

std::string CheckOf(std::string_view bytes) {
    std::uint64_t crc = crc32(0, nullptr, 0);
    for (std::size_t at = 0; at < bytes.size();) {
        const auto n = static_cast<uInt>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + at), n);
        at += n;
    }
    const std::uint64_t length = bytes.size();
    std::string check;
    for (int i = 0; i < 4; ++i) {
        check += static_cast<char>((crc >> (8 * i)) & 0xFF);
    }
    for (int i = 0; i < 8; ++i) {
        check += static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    return check;
}

// The subset kept at `path`, when it is a file of ours and whole.
bool ReadFromCache(const std::string& path, std::string& subset) {
    std::string file;
    if (!platform::ReadRegularFile(path, kLargestCachedFont, file) ||
        file.size() < kCheckSize + kCheckMark.size() ||
        file.compare(file.size() - kCheckMark.size(), kCheckMark.size(), kCheckMark) != 0) {
        return false;
    }
    const std::size_t length = file.size() - kCheckSize - kCheckMark.size();
    if (CheckOf(std::string_view(file).substr(0, length)) != file.substr(length, kCheckSize)) {
        return false;
    }
    file.resize(length);
    subset = std::move(file);
    return true;
}

// Written beside its place, flushed, and moved there whole: a run that ends halfway, or a
// power cut, leaves no half font.
void StoreInCache(const std::string& folder, const std::string& name, const std::string& bytes) {
    if (!platform::CreateDirTree(folder)) {
        return;
    }
    for (const platform::DirEntry& entry : platform::ListDirectory(folder)) {
        if (!entry.isFolder && entry.name.rfind("chinese-", 0) == 0) {
            platform::DeleteFileForced(folder + entry.name);  // a subset of an older font
        }
    }
    const std::string partial = folder + name + ".partial";
    platform::OutputFile out;
    const std::string trailer = CheckOf(bytes) + std::string(kCheckMark);
    if (!out.Create(partial, false, 0) || !out.Write(bytes.data(), bytes.size()) ||
        !out.Write(trailer.data(), trailer.size()) || !out.Flush() || !out.Close() ||
        !platform::PutFileInPlace(partial, folder + name)) {
        platform::DeleteFileForced(partial);
        Diagnose("player: cannot keep the font's subset in %s", folder.c_str());
    }
}

}  // namespace

std::string PlayerFontBytes(const platform::FontFile& font, const std::string& cacheFolder) {
    const std::string name = cacheFolder.empty() ? std::string() : CacheName(font);
    std::string bytes;
    std::string cached;
    std::string error;
    // Laid out anew from what is read, which also checks that it is still a whole font.
    if (!name.empty() && ReadFromCache(cacheFolder + name, cached) &&
        platform::ExtractFontFace(cached, 0, bytes, error)) {
        return bytes;
    }
    std::string file;
    if (!platform::ReadWholeFile(font.path, file)) {
        Diagnose("player: cannot read the font %s", font.path.c_str());
        return std::string();
    }
    if (SubsetForChineseText(file, font.face, bytes, error)) {
        if (!name.empty()) {
            StoreInCache(cacheFolder, name, bytes);
        }
        return bytes;
    }
    Diagnose("player: the font %s cannot be cut down (%s); the player gets all of it",
             font.path.c_str(), error.c_str());
    if (!platform::ExtractFontFace(file, font.face, bytes, error)) {
        Diagnose("player: the font %s: %s", font.path.c_str(), error.c_str());
        bytes.clear();
    }
    return bytes;
}

namespace {

PlayerFont MakePlayerFont(const std::string& cacheFolder) {
    const platform::FontFile font = platform::FindChineseFont();
    if (font.path.empty()) {
        Diagnose(
            "player: no font with Chinese characters on this system; the game's Chinese text "
            "will not show (install one, e.g. Noto Sans CJK)");
        return PlayerFont();
    }
    PlayerFont made{PlayerFontBytes(font, cacheFolder), font.families};
    if (made.bytes.empty()) {
        made.families.clear();
    }
    return made;
}

std::mutex g_preparing;
std::shared_future<PlayerFont> g_font;

}  // namespace

bool SubsetForChineseText(std::string_view fontFile, unsigned face, std::string& out,
                          std::string& error) {
    const Blob blob(hb_blob_create(fontFile.data(), static_cast<unsigned>(fontFile.size()),
                                   HB_MEMORY_MODE_READONLY, nullptr, nullptr));
    const Face source(hb_face_create(blob.get(), face));
    if (fontFile.size() > 0xFFFFFFFFu || hb_face_get_glyph_count(source.get()) == 0) {
        error = "not a font, or no font " + std::to_string(face) + " in it";
        return false;
    }
    const Input input(hb_subset_input_create_or_fail());
    if (!input) {
        error = "out of memory";
        return false;
    }
    hb_set_t* unicodes = hb_subset_input_unicode_set(input.get());
    for (const Range& range : kChineseTextRanges) {
        hb_set_add_range(unicodes, range.first, range.last);
    }
    hb_set_t* dropped = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const hb_tag_t tag : kUnreadTables) {
        hb_set_add(dropped, tag);
    }
    // Every name in every language: the player finds the font by its full name, the page by
    // its family names.
    for (const hb_subset_sets_t names : {HB_SUBSET_SETS_NAME_ID, HB_SUBSET_SETS_NAME_LANG_ID}) {
        hb_set_t* set = hb_subset_input_set(input.get(), names);
        hb_set_clear(set);
        hb_set_invert(set);
    }
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_NO_HINTING);
    const Face subset(hb_subset_or_fail(source.get(), input.get()));
    if (!subset) {
        error = "the subsetter refused it";
        return false;
    }
    const Blob result(hb_face_reference_blob(subset.get()));
    unsigned length = 0;
    const char* data = hb_blob_get_data(result.get(), &length);
    if (length == 0) {
        error = "the subset came out empty";
        return false;
    }
    out.assign(data, length);
    return true;
}

std::string PlayerFontCacheFolder() {
    const std::string profile = BrowserProfileDir();
    return profile.empty() ? profile : profile + "player-fonts" + platform::PathSeparator();
}

void PreparePlayerFont(const std::string& cacheFolder) {
    const std::lock_guard<std::mutex> lock(g_preparing);
    if (g_font.valid()) {
        return;
    }
    try {
        g_font = std::async(std::launch::async, MakePlayerFont, cacheFolder).share();
    } catch (const std::system_error&) {
        // No thread to spare: the first one to ask makes it.
        g_font = std::async(std::launch::deferred, MakePlayerFont, cacheFolder).share();
    }
}

const PlayerFont& GetPlayerFont() {
    std::shared_future<PlayerFont> font;
    {
        const std::lock_guard<std::mutex> lock(g_preparing);
        if (!g_font.valid()) {
            g_font = std::async(std::launch::deferred, MakePlayerFont, std::string()).share();
        }
        font = g_font;
    }
    // Made in a second or two; a font that takes far longer (a file system that does not
    // answer) must not hold the game window: it starts without it.
    if (font.wait_for(kPlayerFontWait) == std::future_status::timeout) {
        static const PlayerFont none;
        Diagnose("player: the Chinese font is not ready after %lld s; the game starts without it",
                 static_cast<long long>(kPlayerFontWait.count()));
        return none;
    }
    return font.get();
}

}  // namespace tavrin
