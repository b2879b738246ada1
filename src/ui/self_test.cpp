#include "ui/self_test.h"

#include <QtWebEngineCore/qtwebenginecoreglobal.h>

#include <cstdio>
#include <memory>
#include <string>

#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QWebEngineView>

#include "app/launcher_command.h"
#include "app/program_paths.h"
#include "flow/self_test_views.h"
#include "game/self_test_report.h"
#include "game/self_test_site.h"
#include "platform/file_system.h"
#include "platform/temp_dir.h"
#include "ui/browser_profile.h"
#include "ui/flash_player.h"
#include "ui/game_window.h"
#include "ui/login_window.h"
#include "ui/ruffle_scheme.h"
#include "ui/tavrin_app.h"

namespace tavrin::ui {

namespace {

// More than one colour on the screen where `widget` is: the engine drew there.
bool DrawsSomething(QWidget* widget) {
    if (widget == nullptr || !widget->isVisible()) {
        return false;
    }
    const QRect area(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    const QImage shot =
        widget->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    for (int y = 0; y < shot.height(); y += 4) {
        for (int x = 0; x < shot.width(); x += 4) {
            if (shot.pixel(x, y) != shot.pixel(0, 0)) {
                return true;
            }
        }
    }
    return false;
}

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

// As the X server reports the key Q: the player reads the physical key, which Qt takes from
// the native scan code.
void PressQ(QWidget* input) {
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent key(type, Qt::Key_Q, Qt::NoModifier, 24, 0x71, 0, QStringLiteral("q"));
        QApplication::sendEvent(input, &key);
    }
}

struct Road {
    CTavrinApp& app;
    SelfTestViews& views;
    const SelfTestSite& site;
    bool movieStarted = false;
    std::unique_ptr<QWidget> thief;

    CShockwaveflash1* Player() const {
        CFlashPayer* game = app.Windows().GameWindow();
        return game != nullptr ? game->FlashControl() : nullptr;
    }

    // Another window takes the focus for a moment; then the game window has it again.
    void StealFocus() {
        thief = std::make_unique<QWidget>();
        thief->setGeometry(0, 0, 120, 80);
        thief->show();
        thief->activateWindow();
        QTimer::singleShot(500, &app, [this] {
            thief.reset();
            if (CFlashPayer* game = app.Windows().GameWindow()) {
                game->activateWindow();
                game->raise();
            }
        });
    }

    void AddSteps(SelfTestRun& run) {
        run.Add(SiteStep(site, "platform configuration fetched", "platform configuration", 15));
        run.Add(SiteStep(site, "update check answered", "update description", 15));
        run.Add({"login window shown", 15, [this](std::string&) { return views.LoginShown(); }});
        run.Add(SiteStep(site, "login page loaded by the engine", "login page", 15));
        run.Add({"login page drawn", 10,
                 [this](std::string&) { return DrawsSomething(app.Windows().LoginWindow()); }});
        run.Add(SiteStep(site, "window.external answered", "page: external", 10, "true"));
        run.Add(SiteStep(site, "session cookie hidden from the page's script", "page: cookie", 10,
                         "hidden"));
        run.Add(SiteStep(site, "verification address reached", "verification", 15));
        run.Add(
            SiteStep(site, "client configuration fetched with the page's cookies", "session", 15));
        run.Add({"game window opened", 15, [this](std::string&) { return views.GameOpened(); }});
        // Watched from the game window's start: the movie may start before its fetch is seen.
        SelfTestStep fetched = SiteStep(site, "movie fetched by the player", "movie", 20);
        fetched.begin = [this] {
            if (CShockwaveflash1* player = Player()) {
                QObject::connect(player, &CShockwaveflash1::MovieStarted, &app,
                                 [this] { movieStarted = true; });
            }
        };
        run.Add(std::move(fetched));
        run.Add({"movie's first frame", 20, [this](std::string&) { return movieStarted; }});
        run.Add({"movie drawn", 10,
                 [this](std::string&) { return DrawsSomething(app.Windows().GameWindow()); }});
        run.Add({"movie call answered (GetSysMem)", 15, [this](std::string& detail) {
                     return site.Seen("game: sysmem", &detail) && !detail.empty() &&
                            detail != "null";
                 }});
        run.Add(SiteStep(site, "socket through the relay", "game: echoed", 15));
        run.Add({"keys after the window lost and regained the focus", 10,
                 [this](std::string& detail) {
                     if (CShockwaveflash1* player = Player(); player && !thief) {
                         PressQ(player->focusProxy() ? player->focusProxy() : player);
                     }
                     return site.Seen("game: key", &detail);
                 },
                 [this] { StealFocus(); }});
        run.Add(SiteStep(site, "full screen on", "game: fullscreen-on", 10));
        run.Add(SiteStep(site, "full screen off", "game: fullscreen-off", 10));
    }
};

bool ParseSelfTestOptions(int argc, char** argv, std::string& report) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--report" && i + 1 < argc) {
            report = argv[++i];
        } else if (arg != "--self-test" && arg.rfind("--log-level", 0) != 0) {
            std::fprintf(stderr, "tavrin: unknown option %s (tavrin --help says more)\n",
                         arg.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int RunSelfTest(int argc, char** argv) {
    std::string reportFile;
    if (!ParseSelfTestOptions(argc, argv, reportFile)) {
        return kExitUsage;
    }
    CTavrinApp::PrepareProcess();
    // Nothing of the player's: a profile of this run, a data directory and log of its own.
    KeepBrowserDataForThisRunOnly();
    std::unique_ptr<SelfTestViews> views;
    int qtArgc = 1;
    CTavrinApp app(qtArgc, argv, [&views](LauncherViews& windows) -> LauncherViews& {
        views = std::make_unique<SelfTestViews>(windows);
        return *views;
    });
    app.m_strBaseName = ComputeBaseName(GetModulePath()) + "-self-test";

    SelfTestRun run(reportFile);
    run.Header(std::string("engine=Qt WebEngine ") + qWebEngineVersion() + " (Chromium " +
               qWebEngineChromiumVersion() + ")");
    std::string movie;
    const std::string movieFile = QDir(RuffleFolder()).filePath("self-test.swf").toStdString();
    if (!platform::ReadWholeFile(movieFile, movie)) {
        run.Header("movie=missing: " + movieFile);
    }
    SelfTestSite site(std::move(movie));
    const std::string folder = platform::MakePrivateTempDir("tavrin-self-test-");
    std::string ini;
    if (site.Start() && !folder.empty()) {
        ini = folder + "config.ini";
        const std::string text = "[config]\nconfigUrl=" + site.Origin() + "/config?yid=\n";
        std::FILE* file = std::fopen(ini.c_str(), "wb");
        if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
            ini.clear();
        }
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    if (ini.empty()) {
        run.Fail("the self-test could not serve its operator on 127.0.0.1");
        return run.Finish();
    }
    app.m_strIniPath = ini;
    Road road{app, *views, site};
    road.AddSteps(run);
    views->onBox = [&run](const std::string& text) {
        run.Fail("the launcher asked the player: " + text);
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (!run.Poll()) {
            poll.stop();
            app.Flow().RunExitSequence(0);
        }
    });
    poll.start(200);
    app.InitInstance();
    run.Fail("the launcher ended before the step");
    platform::DeleteDirContents(folder);
    platform::RemoveDirectoryEntry(folder);
    return run.Finish();
}

}  // namespace tavrin::ui
