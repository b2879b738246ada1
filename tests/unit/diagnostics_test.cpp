#include "app/diagnostics.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/system_paths.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

TEST(Diagnostics, LinesAreKeptWithTheirTimeInAFileThatStaysSmall) {
    test::TempDir tmp;
    const std::string sep(1, platform::PathSeparator());
    const std::string path = DiagnosticsFileFor(tmp.Path() + "state", "Launcher");
    EXPECT_EQ(path, tmp.Path() + "state" + sep + "Launcher.log");
    EXPECT_EQ(DiagnosticsFileFor("", "Launcher"), "");
    EXPECT_EQ(DiagnosticsFileFor(tmp.Path(), ".."), "");

    SetDiagnosticsFile(path, 300);
    Diagnose("tavrin: first %d", 1);
    const std::string first = test::ReadFile(path);
    // "2026-12-08 09:10:11Z tavrin: first 1"
    ASSERT_EQ(first.size(), 21 + std::string("tavrin: first 1\n").size()) << first;
    EXPECT_EQ(first.substr(19), "Z tavrin: first 1\n");
    EXPECT_EQ(first[4], '-');

    for (int i = 0; i < 20; ++i) {
        Diagnose("tavrin: line %02d of a start that goes on", i);
    }
    SetDiagnosticsFile("");
    Diagnose("tavrin: only on the error output");
    const std::string latest = test::ReadFile(path);
    EXPECT_LE(latest.size(), 300u);
    EXPECT_NE(latest.find("line 19"), std::string::npos);
    EXPECT_EQ(latest.find("only on the error output"), std::string::npos);
    EXPECT_TRUE(platform::IsExistingFile(path + ".1"));
}

// The debug level adds lines; the default keeps them out of the player's log.
TEST(Diagnostics, DetailLinesOnlyAtTheDebugLevel) {
    test::TempDir tmp;
    SetDiagnosticsFile(tmp / "detail.log");
    const struct {
        const char* text;
        bool known;
        LogLevel level;
    } levels[] = {{"info", true, LogLevel::kInfo},
                  {"DEBUG", true, LogLevel::kDebug},
                  {"verbose", false, LogLevel::kInfo},
                  {"", false, LogLevel::kInfo}};
    for (const auto& c : levels) {
        LogLevel level = LogLevel::kInfo;
        EXPECT_EQ(ParseLogLevel(c.text, level), c.known) << c.text;
        EXPECT_EQ(level, c.level) << c.text;
        SetLogLevel(level);
        DiagnoseDetail("detail at %s", c.text);
    }
    SetLogLevel(LogLevel::kInfo);
    SetDiagnosticsFile("");
    const std::string log = test::ReadFile(tmp / "detail.log");
    EXPECT_EQ(log.find("detail at info"), std::string::npos) << log;
    EXPECT_NE(log.find("detail at DEBUG"), std::string::npos) << log;
}

TEST(Diagnostics, AddressesLoseWhatMayCarryASession) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://h/verify?sid=secret", "http://h/verify?..."},
        {"https://h:8443/a#token", "https://h:8443/a?..."},
        {"http://h/plain", "http://h/plain"},
        {"", ""},
    };
    for (const auto& [url, logged] : cases) {
        EXPECT_EQ(AddressForLog(url), logged) << url;
    }
}

}  // namespace
}  // namespace tavrin
