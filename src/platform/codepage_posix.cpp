#include <langinfo.h>
#include <locale.h>

#include <cstring>

#include "platform/codepage.h"

namespace tavrin::platform {

namespace {

enum class Codeset { kByteSafe, kGbk, kGb18030 };

// The user's locale decides, not the C library's current one: the tool never calls
// setlocale while the Qt program does, and both must cut paths the same way.
Codeset DetectCodeset() {
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) {
        return Codeset::kByteSafe;
    }
    const char* name = nl_langinfo_l(CODESET, loc);
    Codeset result = Codeset::kByteSafe;
    if (strcasecmp(name, "GB18030") == 0) {
        result = Codeset::kGb18030;
    } else if (strcasecmp(name, "GBK") == 0 || strcasecmp(name, "GB2312") == 0 ||
               strcasecmp(name, "EUC-CN") == 0 || strcasecmp(name, "CP936") == 0) {
        result = Codeset::kGbk;
    }
    freelocale(loc);
    return result;
}

}  // namespace

std::size_t CharLength(const std::string& s, std::size_t pos) {
    // UTF-8 and the single-byte sets never reuse ASCII values inside a character, so a
    // byte step finds separators correctly there.
    static const Codeset codeset = DetectCodeset();
    switch (codeset) {
        case Codeset::kGbk:
            return GbkCharLength(s, pos);
        case Codeset::kGb18030:
            return Gb18030CharLength(s, pos);
        case Codeset::kByteSafe:
            break;
    }
    return 1;
}

}  // namespace tavrin::platform
