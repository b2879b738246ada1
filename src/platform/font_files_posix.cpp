#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <memory>

#include "platform/font_files.h"

namespace tavrin::platform {

namespace {

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

// True when the font really covers the language; fontconfig's best match for a language may
// be any font at all when none does.
bool CoversChinese(FcPattern* font) {
    FcLangSet* langs = nullptr;
    if (FcPatternGetLangSet(font, FC_LANG, 0, &langs) != FcResultMatch) {
        return false;
    }
    return FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>("zh-cn")) == FcLangEqual;
}

}  // namespace

FontFile FindChineseFont() {
    FontFile found;
    if (FcInit() == FcFalse) {
        return found;
    }
    Pattern query(
        FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=zh-cn:style=Regular")));
    if (!query) {
        return found;
    }
    FcConfigSubstitute(nullptr, query.get(), FcMatchPattern);
    FcDefaultSubstitute(query.get());
    FcResult result = FcResultNoMatch;
    Pattern match(FcFontMatch(nullptr, query.get(), &result));
    FcChar8* file = nullptr;
    if (!match || !CoversChinese(match.get()) ||
        FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch) {
        return found;
    }
    found.path = reinterpret_cast<const char*>(file);
    int face = 0;
    if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &face) == FcResultMatch && face > 0) {
        found.face = static_cast<unsigned>(face) & 0xFFFF;  // the rest names an instance
    }
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &family) == FcResultMatch; ++i) {
        const std::string name(reinterpret_cast<const char*>(family));
        if (std::find(found.families.begin(), found.families.end(), name) == found.families.end()) {
            found.families.push_back(name);
        }
    }
    return found;
}

}  // namespace tavrin::platform
