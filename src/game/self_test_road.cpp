#include "game/self_test_road.h"

#include <cstdio>
#include <utility>

#include "platform/file_output.h"
#include "platform/file_system.h"
#include "platform/temp_dir.h"

namespace tavrin {

namespace {

// A step that passes once the site has seen `what` (and its detail is `wanted`, when given).
SelfTestStep SiteStep(const SelfTestSite& site, std::string name, std::string what, int seconds,
                      std::string wanted = {}) {
    return {std::move(name),
            seconds,
            [&site, what, wanted](std::string& detail) {
                return site.Seen(what, &detail) && (wanted.empty() || detail == wanted);
            },
            {}};
}

SelfTestStep FrontStep(std::string name, int seconds, std::function<bool()> holds) {
    return {std::move(name), seconds, [holds](std::string&) { return holds && holds(); }, {}};
}

}  // namespace

bool ParseSelfTestOptions(int argc, char** argv, std::string& reportFile) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--report" && i + 1 < argc) {
            reportFile = argv[++i];
        } else if (arg != "--self-test" && arg.rfind("--log-level", 0) != 0) {
            std::fprintf(stderr, "tavrin: unknown option %s (tavrin --help says more)\n",
                         arg.c_str());
            return false;
        }
    }
    return true;
}

std::string ReadSelfTestMovie(const std::string& file, SelfTestRun& run) {
    std::string movie;
    if (!platform::ReadWholeFile(file, movie)) {
        run.Header("movie=missing: " + file);
    }
    return movie;
}

std::string PrepareSelfTestOperator(SelfTestSite& site, SelfTestRun& run) {
    const std::string folder = platform::MakePrivateTempDir("tavrin-self-test-");
    const bool started = !folder.empty() && site.Start();
    const std::string text = "[config]\r\nconfigUrl=" + site.Origin() + "/config?yid=\r\n";
    platform::OutputFile file;
    if (!started || !file.Create(folder + "config.ini", false, 0) ||
        !file.Write(text.data(), text.size()) || !file.Close()) {
        RemoveSelfTestOperator(folder);
        run.Fail("the self-test could not serve its operator on 127.0.0.1");
        return {};
    }
    return folder;
}

void RemoveSelfTestOperator(const std::string& folder) {
    if (!folder.empty()) {
        platform::DeleteDirContents(folder);
        platform::RemoveDirectoryEntry(folder);
    }
}

void AddSelfTestSteps(SelfTestRun& run, const SelfTestSite& site, const SelfTestFrontEnd& front) {
    run.Add(SiteStep(site, "platform configuration fetched", "platform configuration", 30));
    run.Add(SiteStep(site, "update check answered", "update description", 30));
    run.Add(FrontStep("login window shown", 30, front.loginShown));
    run.Add(SiteStep(site, "login page loaded by the engine", "login page", 30));
    run.Add(FrontStep("login page drawn", 20, front.loginDrawn));
    run.Add(SiteStep(site, "window.external answered", "page: external", 20, "true"));
    run.Add(SiteStep(site, "session cookie hidden from the page's script", "page: cookie", 20,
                     "hidden"));
    run.Add(SiteStep(site, "verification address reached", "verification", 30));
    run.Add(SiteStep(site, "client configuration fetched with the page's cookies", "session", 30));
    run.Add(FrontStep("game window opened", 30, front.gameOpened));
    // Watched from the game window's start: the movie may start before its fetch is seen.
    SelfTestStep fetched = SiteStep(site, "movie fetched by the player", "movie", 40);
    fetched.begin = front.watchMovie;
    run.Add(std::move(fetched));
    run.Add(FrontStep("movie's first frame", 40, front.movieStarted));
    if (front.playerRequestHeaders) {
        run.Add({"headers of the player page's requests to the launcher", 20,
                 front.playerRequestHeaders});
    }
    run.Add(FrontStep("movie drawn", 20, front.movieDrawn));
    run.Add({"movie call answered (GetSysMem)", 30, [&site](std::string& detail) {
                 return site.Seen("game: sysmem", &detail) && !detail.empty() && detail != "null";
             }});
    run.Add(SiteStep(site, "socket through the relay", "game: echoed", 30));
    SelfTestStep keys = {"keys after the window lost and regained the focus", 20,
                         [&site, press = front.pressKey](std::string& detail) {
                             if (press) {
                                 press();
                             }
                             return site.Seen("game: key", &detail);
                         },
                         front.stealFocus};
    run.Add(std::move(keys));
    run.Add(SiteStep(site, "full screen on", "game: fullscreen-on", 20));
    run.Add(SiteStep(site, "full screen off", "game: fullscreen-off", 20));
}

}  // namespace tavrin
