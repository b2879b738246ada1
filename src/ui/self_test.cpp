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
#include "game/self_test_road.h"
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

    SelfTestFrontEnd FrontEnd() {
        SelfTestFrontEnd front;
        front.loginShown = [this] { return views.LoginShown(); };
        // Where the page is: the window's own artwork around it does not count.
        front.loginDrawn = [this] {
            CTavrinDlg* login = app.Windows().LoginWindow();
            return login != nullptr && DrawsSomething(login->findChild<QWebEngineView*>());
        };
        front.gameOpened = [this] { return views.GameOpened(); };
        front.watchMovie = [this] {
            if (CShockwaveflash1* player = Player()) {
                QObject::connect(player, &CShockwaveflash1::MovieStarted, &app,
                                 [this] { movieStarted = true; });
            }
        };
        front.movieStarted = [this] { return movieStarted; };
        front.movieDrawn = [this] { return DrawsSomething(Player()); };
        front.stealFocus = [this] { StealFocus(); };
        front.pressKey = [this] {
            if (CShockwaveflash1* player = Player(); player && !thief) {
                PressQ(player->focusProxy() ? player->focusProxy() : player);
            }
        };
        return front;
    }
};

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
    SelfTestSite site(
        ReadSelfTestMovie(QDir(RuffleFolder()).filePath("self-test.swf").toStdString(), run));
    const std::string folder = PrepareSelfTestOperator(site, run);
    if (folder.empty()) {
        return run.Finish();
    }
    app.m_strIniPath = folder + "config.ini";
    Road road{app, *views, site};
    AddSelfTestSteps(run, site, road.FrontEnd());
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
    RemoveSelfTestOperator(folder);
    return run.Finish();
}

}  // namespace tavrin::ui
