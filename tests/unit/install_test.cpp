#include "update/install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "platform/file_output.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system_paths.h"
#include "support/temp_dir.h"
#include "update/install_journal.h"

namespace tavrin {
namespace {

using Files = std::map<std::string, std::string>;

// Every file below the folder with its content, names with '/'.
void ReadTree(const std::string& folder, const std::string& prefix, Files& files) {
    for (const platform::DirEntry& entry : platform::ListDirectory(folder + prefix)) {
        const std::string name = prefix + entry.name;
        if (entry.isFolder) {
            ReadTree(folder, name + platform::PathSeparator(), files);
        } else {
            std::string relative = name;
            std::replace(relative.begin(), relative.end(), platform::PathSeparator(), '/');
            files[relative] = test::ReadFile(folder + name);
        }
    }
}

Files Tree(const test::TempDir& dir, const std::string& folder) {
    Files files;
    ReadTree(dir / (folder + "/"), "", files);
    return files;
}

void WriteTree(const test::TempDir& dir, const std::string& folder, const Files& files) {
    for (const auto& [name, content] : files) {
        dir.Write(folder + "/" + name, content);
    }
}

const std::string kLauncher = std::string("tavrin") + platform::ExecutableSuffix();

TEST(InstallFiles, ReplacesWhatThePackageCarriesAndKeepsTheRest) {
    const test::TempDir dir;
    WriteTree(dir, "old",
              {{kLauncher, "old launcher"},
               {"config.ini", "[config]\nmine=1\n"},
               {"saved.dat", "player's"},
               {"ruffle/ruffle.js", "old player"}});
    WriteTree(dir, "new",
              {{kLauncher, "new launcher"},
               {"config.ini", "[config]\nops=1\n"},
               {"ruffle/ruffle.js", "new player"},
               {"fonts/zh/a.ttf", "font"}});
    InstallReport report;
    ASSERT_TRUE(InstallFiles(dir / "new/", dir / "old/", report)) << report.error;
    const Files expected = {{kLauncher, "new launcher"},
                            {"config.ini", "[config]\nmine=1\n"},
                            {"saved.dat", "player's"},
                            {"ruffle/ruffle.js", "new player"},
                            {"fonts/zh/a.ttf", "font"}};
    EXPECT_EQ(Tree(dir, "old"), expected);
    EXPECT_EQ(report.installed.size(), 3u);
    EXPECT_EQ(report.kept, std::vector<std::string>{"config.ini"});
    EXPECT_TRUE(report.leftOver.empty());
}

TEST(InstallFiles, APackageConfigIniGoesInWhereThereIsNone) {
    const test::TempDir dir;
    WriteTree(dir, "old", {{kLauncher, "old"}});
    WriteTree(dir, "new", {{kLauncher, "new"}, {"config.ini", "ops"}});
    InstallReport report;
    ASSERT_TRUE(InstallFiles(dir / "new/", dir / "old/", report)) << report.error;
    EXPECT_EQ(Tree(dir, "old"), (Files{{kLauncher, "new"}, {"config.ini", "ops"}}));
}

constexpr const char* kKey = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";

// The settings a package's config.ini moves replace the player's own lines; the rest of the
// player's file, its comments and line ends included, stays as it was.
TEST(WithConfigValues, ReplacesOrAddsOnlyTheMovedSettings) {
    const ConfigValues both = {{"configUrl", "https://new.example/cfg?yid="}, {"updateKey", kKey}};
    const struct {
        const char* what;
        std::string player;
        ConfigValues values;
        std::string expected;
    } cases[] = {
        {"replaced in place, other keys and sections kept",
         "; mine\r\n[other]\r\nconfigUrl=keep\r\n[Config]\r\n ConfigURL = http://old/\r\n"
         "mine=1\r\n",
         {both[0]},
         "; mine\r\n[other]\r\nconfigUrl=keep\r\n[Config]\r\nconfigUrl=https://new.example/"
         "cfg?yid=\r\nmine=1\r\n"},
        {"a missing key joins its section, before the next one",
         "[config]\nconfigUrl=http://old/\n\n[x]\ny=1", both,
         "[config]\nconfigUrl=https://new.example/cfg?yid=\nupdateKey=" + std::string(kKey) +
             "\n\n[x]\ny=1\n"},
        {"a missing section is added",
         "[x]\r\ny=1\r\n",
         {both[1]},
         "[x]\r\ny=1\r\n[config]\r\nupdateKey=" + std::string(kKey) + "\r\n"},
        {"only the first of a doubled key",
         "[config]\nconfigUrl=a\nconfigUrl=b\n",
         {both[0]},
         "[config]\nconfigUrl=https://new.example/cfg?yid=\nconfigUrl=b\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithConfigValues(c.player, c.values), c.expected) << c.what;
    }
    EXPECT_EQ(MovableConfigValues("[x]\nupdateKey=no\n[config]\nother=1\n UPDATEKEY = k \n"),
              (ConfigValues{{"updateKey", "k"}}));
    EXPECT_EQ(CheckMovableConfigValues(both), "");
    for (const ConfigValues& bad :
         {ConfigValues{{"configUrl", "ftp://x/"}}, ConfigValues{{"configUrl", "http://a b/"}},
          ConfigValues{{"updateKey", "abc"}}}) {
        EXPECT_NE(CheckMovableConfigValues(bad), "") << bad[0].second;
    }
}

TEST(InstallFiles, AStagedConfigIniMovesOnlyItsServiceSettings) {
    const test::TempDir dir;
    WriteTree(dir, "old",
              {{kLauncher, "old"}, {"config.ini", "[config]\nconfigUrl=http://old/\nmine=1\n"}});
    WriteTree(dir, "new",
              {{kLauncher, "new"}, {"config.ini", "[config]\nconfigUrl=http://new/\nmine=ops\n"}});
    InstallReport report;
    ASSERT_TRUE(InstallFiles(dir / "new/", dir / "old/", report)) << report.error;
    EXPECT_EQ(
        Tree(dir, "old"),
        (Files{{kLauncher, "new"}, {"config.ini", "[config]\nconfigUrl=http://new/\nmine=1\n"}}));
    EXPECT_EQ(report.moved, (ConfigValues{{"configUrl", "http://new/"}}));
    EXPECT_TRUE(report.kept.empty());
}

// A failure after some files were replaced puts every old one back, removes every copy and
// every folder made: the launcher's folder is as it was, never half new.
TEST(InstallFiles, AFailurePartWayLeavesTheOldFilesOnly) {
    struct Case {
        const char* what;
        Files staged;
        const char* folderInTheWay;  // made in the old folder
        bool rolledBack;
        const char* failedFile;
    };
    const Case cases[] = {
        {"after the launcher was replaced",
         {{kLauncher, "new"}, {"new/x.txt", "x"}, {"zz-data", "new data"}},
         "zz-data",
         true,
         "zz-data"},
        {"at the first file", {{"a", "new a"}, {kLauncher, "new"}}, "a", false, "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir dir;
        WriteTree(dir, "old", {{kLauncher, "old"}, {"config.ini", "mine"}});
        dir.Write(std::string("old/") + c.folderInTheWay + "/kept", "kept");
        WriteTree(dir, "new", c.staged);
        const Files before = Tree(dir, "old");
        InstallReport report;
        EXPECT_FALSE(InstallFiles(dir / "new/", dir / "old/", report));
        EXPECT_EQ(Tree(dir, "old"), before);
        EXPECT_FALSE(platform::PathExists(dir / "old/new"));
        EXPECT_EQ(report.rolledBack, c.rolledBack);
        EXPECT_NE(report.error.find(c.failedFile), std::string::npos) << report.error;
    }
}

// An installation ended at any step (its updater killed) is finished or undone by the next
// one: the folder then holds the old files or the new ones, whole, and nothing beside them.
TEST(InstallFiles, EndedAtAnyStepItIsFinishedOrUndoneWhole) {
    const Files before = {
        {kLauncher, "old"}, {"config.ini", "[config]\nmine=1\n"}, {"a.txt", "old a"}};
    const Files staged = {{kLauncher, "new"}, {"a.txt", "new a"}, {"ruffle/r.js", "new r"}};
    Files after = before;
    for (const auto& [name, content] : staged) {
        after[name] = content;
    }
    struct Stop {};
    bool completed = false;
    std::set<std::string> outcomes;
    for (int stopAt = 1; !completed; ++stopAt) {
        SCOPED_TRACE(stopAt);
        const test::TempDir dir;
        WriteTree(dir, "old", before);
        WriteTree(dir, "new", staged);
        SetInstallStepHook([stopAt](int step) {
            if (step == stopAt) {
                throw Stop{};
            }
        });
        InstallReport report;
        try {
            completed = InstallFiles(dir / "new/", dir / "old/", report);
        } catch (const Stop&) {
            EXPECT_NE(RecoverInstallation(dir / "old/"), "");
        }
        SetInstallStepHook({});
        const Files now = Tree(dir, "old");
        EXPECT_TRUE(now == before || now == after) << "a mix after stopping at step " << stopAt;
        outcomes.insert(now == after ? "new" : "old");
        EXPECT_EQ(RecoverInstallation(dir / "old/"), "");  // nothing left to recover
        ASSERT_LT(stopAt, 100);
    }
    EXPECT_EQ(outcomes, (std::set<std::string>{"new", "old"}));
}

// An old file that cannot go back after a failure (its place taken meanwhile) keeps the
// installation's record, and the next recovery puts it back once its place is free.
TEST(InstallFiles, AnOldFileThatCouldNotGoBackIsPutBackByTheNextStart) {
    const test::TempDir dir;
    const Files before = {{kLauncher, "old"}, {"a.txt", "old a"}};
    WriteTree(dir, "old", before);
    platform::CreateDirTree(dir / "old/b.txt/mine");  // the failure: a folder where b.txt goes
    WriteTree(dir, "new", {{kLauncher, "new"}, {"a.txt", "new a"}, {"b.txt", "new b"}});
    const std::string placeOfA = dir / "old/a.txt";
    SetInstallStepHook([&](int) {
        if (platform::IsExistingFile(placeOfA) && test::ReadFile(placeOfA) == "new a") {
            platform::DeleteFileForced(placeOfA);  // something takes a.txt's place at once
            platform::CreateDirTree(placeOfA + platform::PathSeparator() + "busy");
        }
    });
    InstallReport report;
    EXPECT_FALSE(InstallFiles(dir / "new/", dir / "old/", report));
    SetInstallStepHook({});
    EXPECT_EQ(report.notRestored, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(RecoverInstallation(dir / "old/"),
              "not yet undone: the old a.txt could not be put back");
    platform::DeleteDirContents(placeOfA);
    platform::RemoveDirectoryEntry(placeOfA);
    EXPECT_EQ(RecoverInstallation(dir / "old/"), "undone");
    EXPECT_EQ(Tree(dir, "old"), before);
    EXPECT_EQ(RecoverInstallation(dir / "old/"), "");
}

TEST(InstallFiles, NothingStagedIsAnError) {
    const test::TempDir dir;
    WriteTree(dir, "old", {{kLauncher, "old"}});
    platform::MakeDirectory(dir / "new");
    InstallReport report;
    EXPECT_FALSE(InstallFiles(dir / "new/", dir / "old/", report));
    EXPECT_NE(report.error.find("holds no files"), std::string::npos);
    EXPECT_EQ(Tree(dir, "old"), (Files{{kLauncher, "old"}}));
}

TEST(InstallFiles, AProgramStaysAProgram) {
    const test::TempDir dir;
    dir.Write("old/" + kLauncher, "old");
    dir.Write("new/notes.txt", "notes");
    platform::OutputFile program;
    ASSERT_TRUE(program.Create(dir / ("new/" + kLauncher), false, 0755));
    ASSERT_TRUE(program.Write("new", 3) && program.Close());
    InstallReport report;
    ASSERT_TRUE(InstallFiles(dir / "new/", dir / "old/", report)) << report.error;
    EXPECT_EQ(platform::ListPrograms(dir / "old/"), std::vector<std::string>{kLauncher});
}

TEST(ParseHandOver, TakesOnlyThreePartsThatFitTogether) {
    const std::string sep(1, platform::PathSeparator());
    const std::string launcher = sep + "opt" + sep + "t" + sep + kLauncher;
    const std::string folder = sep + "data" + sep + "Game" + sep;
    struct Case {
        std::string argument;
        bool ok;
    };
    const Case cases[] = {
        {launcher + "*" + folder + "*tavrin", true},
        {launcher + "*" + folder, false},
        {launcher + "*" + folder + "*tavrin*x", false},
        {launcher + "*" + sep + "data" + sep + "Game*tavrin", false},  // no closing separator
        {"*" + folder + "*tavrin", false},
        {launcher + "*" + folder + "*other", false},  // not the launcher's name
        {launcher + "*" + folder + "*..", false},
        {"", false},
    };
    for (const Case& c : cases) {
        HandOver handOver;
        std::string error;
        EXPECT_EQ(ParseHandOver(c.argument, handOver, error), c.ok) << c.argument;
        EXPECT_EQ(error.empty(), c.ok) << c.argument;
        if (c.ok) {
            EXPECT_EQ(handOver.launcher, launcher);
            EXPECT_EQ(handOver.gameFolder, folder);
            EXPECT_EQ(handOver.name, "tavrin");
        }
    }
}

}  // namespace
}  // namespace tavrin
