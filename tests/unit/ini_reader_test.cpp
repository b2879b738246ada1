// The INI lookups the launcher relies on. Each case runs twice: through the project's own
// reader on the text, and through the platform's reader on a file (on Windows that is
// GetPrivateProfileStringA, so the Windows lane checks that both agree).
#include "platform/ini_reader.h"

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

struct IniCase {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    std::size_t bufferSize;
    const char* expected;  // with the default "dflt"
};

const IniCase kCases[] = {
    {"plain", "[config]\r\nplatform=7\r\n", "config", "platform", 16, "7"},
    {"lf line ends", "[config]\nplatform=7\n", "config", "platform", 16, "7"},
    {"no final line end", "[config]\nplatform=7", "config", "platform", 16, "7"},
    {"section any case", "[CONFIG]\nplatform=7\n", "config", "platform", 16, "7"},
    {"key any case", "[config]\nPlatForm=7\n", "config", "platform", 16, "7"},
    {"blanks around", "  [config]  \n  platform  =   7  \n", "config", "platform", 16, "7"},
    {"tabs around", "[config]\n\tplatform\t=\t7\t\n", "config", "platform", 16, "7"},
    {"double quotes", "[config]\nplatform=\"7 \"\n", "config", "platform", 16, "7 "},
    {"single quotes", "[config]\nplatform='7'\n", "config", "platform", 16, "7"},
    {"unmatched quote stays", "[config]\nplatform=\"7\n", "config", "platform", 16, "\"7"},
    {"one quote pair only", "[config]\nplatform=\"\"7\"\"\n", "config", "platform", 16, "\"7\""},
    {"cut to the buffer", "[config]\nplatform=12345678901234567890\n", "config", "platform", 16,
     "123456789012345"},
    {"empty value", "[config]\nplatform=\n", "config", "platform", 16, ""},
    {"equals in the value", "[config]\nconfigUrl=http://h/?a=b&c=d\n", "config", "configUrl", 64,
     "http://h/?a=b&c=d"},
    {"first key wins", "[config]\nplatform=1\nplatform=2\n", "config", "platform", 16, "1"},
    {"missing key", "[config]\nother=1\n", "config", "platform", 16, "dflt"},
    {"missing section", "[other]\nplatform=1\n", "config", "platform", 16, "dflt"},
    {"key of another section", "[other]\nplatform=1\n[config]\nx=2\n", "config", "platform", 16,
     "dflt"},
    {"key before any section", "platform=1\n[config]\n", "config", "platform", 16, "dflt"},
    {"comment line", "[config]\n;platform=1\nplatform=2\n", "config", "platform", 16, "2"},
    {"empty file", "", "config", "platform", 16, "dflt"},
    {"default cut too", "", "config", "platform", 3, "df"},
};

void PrintTo(const IniCase& c, std::ostream* os) {
    *os << c.name;
}

class IniLookup : public ::testing::TestWithParam<IniCase> {};

TEST_P(IniLookup, OwnReaderOnText) {
    const IniCase& c = GetParam();
    EXPECT_EQ(platform::IniValueOrDefault(c.text, c.section, c.key, "dflt", c.bufferSize),
              c.expected);
}

TEST_P(IniLookup, PlatformReaderOnFile) {
    const IniCase& c = GetParam();
    test::TempDir tmp;
    tmp.Write("config.ini", c.text);
    EXPECT_EQ(
        platform::ReadProfileString(c.section, c.key, "dflt", c.bufferSize, tmp / "config.ini"),
        c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniLookup, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) {
            ch = '_';
        }
    }
    return name;
});

TEST(IniFile, MissingFileGivesDefault) {
    test::TempDir tmp;
    EXPECT_EQ(platform::ReadProfileString("config", "platform", "0", 16, tmp / "none.ini"), "0");
}

TEST(IniText, ByteOrderMarkIsNotPartOfTheFirstSection) {
    EXPECT_EQ(platform::FindIniValue("\xEF\xBB\xBF[config]\nplatform=3\n", "config", "platform"),
              "3");
}

}  // namespace
}  // namespace tavrin
