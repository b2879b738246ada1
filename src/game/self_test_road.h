// The self-test's road, the same on every system: its command line, its operator on
// 127.0.0.1 with a config.ini that points there, and its steps in order. Each front end
// says what only it can see (its windows, what the screen shows, the movie's start) and does
// what only it can do (take the focus away and back, press a key).
#pragma once

#include <functional>
#include <string>

#include "game/self_test_report.h"
#include "game/self_test_site.h"

namespace tavrin {

// --report FILE (and the launcher's own --self-test and --log-level); false, said on the
// error output, for anything else.
bool ParseSelfTestOptions(int argc, char** argv, std::string& reportFile);

// The self-test movie's bytes from `file`; empty, and said in the report, when it is missing.
std::string ReadSelfTestMovie(const std::string& file, SelfTestRun& run);
// Starts `site` and writes a config.ini for it into a new private folder; the folder (with
// its separator), or empty, the run failed, when either cannot be done.
std::string PrepareSelfTestOperator(SelfTestSite& site, SelfTestRun& run);
// Removes a folder PrepareSelfTestOperator (or the run's profile) made, with what it holds.
void RemoveSelfTestOperator(const std::string& folder);

struct SelfTestFrontEnd {
    std::function<bool()> loginShown;
    std::function<bool()> loginDrawn;
    std::function<bool()> gameOpened;
    // Called once the game window is there: from here on the movie's start is watched.
    std::function<void()> watchMovie;
    std::function<bool()> movieStarted;
    // Where the front end learns what headers its engine delivers with the player page's
    // requests to the launcher (Windows): true once known, with them.
    std::function<bool(std::string& headers)> playerRequestHeaders;
    std::function<bool()> movieDrawn;
    // Another window takes the focus for a moment, then the game window has it again.
    std::function<void()> stealFocus;
    // Presses a key in the game (called until the movie has told the key).
    std::function<void()> pressKey;
};

void AddSelfTestSteps(SelfTestRun& run, const SelfTestSite& site, const SelfTestFrontEnd& front);

}  // namespace tavrin
