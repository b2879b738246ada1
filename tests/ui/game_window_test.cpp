// The whole road against the demo operator service (nginx): login, the game window with the
// movie running in Ruffle, the calls between movie and launcher, refresh, quit.
#include "ui/game_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/config.h"
#include "flow/flash_protocol.h"
#include "game_road.h"
#include "platform/memory_status.h"
#include "support/http_peer.h"
#include "support/temp_dir.h"
#include "ui/login_window.h"
#include "ui/message_box.h"
#include "ui/ruffle_scheme.h"
#include "ui/shell_open.h"
#include "ui/tavrin_app.h"
#include "ui_support.h"

namespace tavrin::ui {
namespace {

using test::WaitFor;

TEST_F(GameRoad, TheMoviePlaysWithItsOptionsAndGetsTheMachinesMemory) {
    EnterGame();
    EXPECT_EQ(Game()->FlashControl()->m_propertyLog,
              QStringList({"Quality2=high", "AllowScriptAccess=sameDomain", "AllowFullScreen=true",
                           "WMode=window", "Menu=false", "FlashVars=server=1&player=demo&lang=zh",
                           QString::fromStdString("Movie=" + m_service.Url("/game/demo.swf"))}));
    EXPECT_TRUE(test::App()->Flow().GameLoaded());
    EXPECT_EQ(Game()->windowTitle(), QStringLiteral("tavrin_ui_tests(双线1区)"));
    EXPECT_FALSE(test::App()->Windows().LoginWindow()->isVisible());
    ASSERT_TRUE(WaitFor([this] { return m_movieState.startsWith("sysmem="); }))
        << m_movieState.toStdString();
    platform::MemoryStatus memory;
    ASSERT_TRUE(platform::ReadMemoryStatus(memory));
    EXPECT_TRUE(m_movieState.startsWith(QStringLiteral("sysmem=%1,").arg(memory.totalBytes >> 20)))
        << m_movieState.toStdString();
    // The login browser was sent away from the verification address.
    EXPECT_TRUE(WaitFor([this] { return LoginView()->GetLocationURL() == "about:blank"; }));
    test::Pump(std::chrono::milliseconds(500));
    test::SaveScreenshot(Game(), QStringLiteral("game-window"));
}

TEST_F(GameRoad, TheDemoLoginPagePlaysItsFlashBannerAndVerificationNeedsTheSession) {
    // Without the session the login form starts, the operator counts the game as closed.
    const Loaded<ClientConfigData> closed =
        LoadClientConfig(m_service.Url("/game/verify?server=1"), m_platform);
    ASSERT_TRUE(closed);
    EXPECT_FALSE(closed.value->isOpen);
    EXPECT_NE(closed.value->errorPage.find("reason=session"), std::string::npos);

    test::App()->Flow().ShowLogin(m_platform);
    ASSERT_TRUE(WaitFor([this] { return LoginView()->title().contains("Tavrin"); }));
    // The banner is an <object> of the page: the launcher's player plays it and the movie
    // tells the page so.
    bool shown = false;
    ASSERT_TRUE(WaitFor(
        [&] {
            LoginView()->page()->runJavaScript(
                QStringLiteral("window.tavrinBannerSeen === true"),
                [&](const QVariant& seen) { shown = seen.toBool(); });
            return shown;
        },
        std::chrono::seconds(30)));
    EXPECT_EQ(m_service.CountRequests("GET /login/banner.swf"), 1);
    test::SaveScreenshot(test::App()->Windows().LoginWindow(), QStringLiteral("login-banner"));
    EnterGame();
    EXPECT_TRUE(test::App()->Flow().GameLoaded());
}

TEST_F(GameRoad, OpensAtTheLargeSizeAndSwitchesBetweenTheTwoSizes) {
    EnterGame();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const ScreenMetrics metrics{screen->geometry().width(),
                                screen->availableGeometry().bottom() + 1};
    const Rect large = GetLargeRect(metrics);
    const Rect small = GetSmallRect(metrics);
    EXPECT_EQ(Game()->geometry(), QRect(large.left, large.top, large.Width(), large.Height()));
    EXPECT_TRUE(Game()->m_btnRestore.isVisible());
    EXPECT_FALSE(Game()->m_btnMaximize.isVisible());
    EXPECT_EQ(Game()->FlashControl()->geometry(),
              QRect(2, 29, large.Width() - 4, large.Height() - 31));

    Game()->m_btnRestore.click();
    ASSERT_TRUE(WaitFor([&] { return Game()->width() == small.Width(); }));
    EXPECT_EQ(Game()->geometry(), QRect(small.left, small.top, small.Width(), small.Height()));
    EXPECT_TRUE(Game()->m_btnMaximize.isVisible());
    EXPECT_EQ(Game()->m_btnClose.geometry(), QRect(small.Width() - 29, 0, 27, 29));
    EXPECT_EQ(Game()->m_btnRefresh.geometry(), QRect(small.Width() - 156, 5, 44, 19));

    Game()->m_btnMaximize.click();
    ASSERT_TRUE(WaitFor([&] { return Game()->width() == large.Width(); }));
    EXPECT_FALSE(Game()->m_btnMaximize.isVisible());
}

void SendMouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), QPointF(to->mapToGlobal(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

TEST_F(GameRoad, DragsByTheTitleStripAndSizesFromTheBordersWithinTheTwoSizes) {
    EnterGame();
    Game()->m_btnRestore.click();
    const QSize small = Game()->size();
    ASSERT_TRUE(WaitFor([&] { return Game()->width() < 1280; }));
    const QPoint start = Game()->pos();
    SendMouse(Game(), QEvent::MouseButtonPress, QPoint(300, 10), Qt::LeftButton);
    SendMouse(Game(), QEvent::MouseMove, QPoint(330, 30), Qt::LeftButton);
    SendMouse(Game(), QEvent::MouseButtonRelease, QPoint(330, 30), Qt::NoButton);
    ASSERT_TRUE(WaitFor([&] { return Game()->pos() == start + QPoint(30, 20); }));

    // The bottom-right corner: larger, but never beyond the large size.
    const QPoint corner(Game()->width() - 1, Game()->height() - 1);
    SendMouse(Game(), QEvent::MouseButtonPress, corner, Qt::LeftButton);
    SendMouse(Game(), QEvent::MouseMove, corner + QPoint(40, 30), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return Game()->size() == small + QSize(40, 30); }));
    SendMouse(Game(), QEvent::MouseMove, corner + QPoint(5000, 5000), Qt::LeftButton);
    SendMouse(Game(), QEvent::MouseButtonRelease, corner + QPoint(5000, 5000), Qt::NoButton);
    ASSERT_TRUE(WaitFor([&] { return Game()->size() == Game()->maximumSize(); }));
    // The top-left corner far past the large size: the window stops growing and its
    // bottom-right corner stays where it was.
    Game()->m_btnRestore.click();
    ASSERT_TRUE(WaitFor([&] { return Game()->size() == small; }));
    const QRect before = Game()->geometry();
    SendMouse(Game(), QEvent::MouseButtonPress, QPoint(0, 0), Qt::LeftButton);
    SendMouse(Game(), QEvent::MouseMove, QPoint(-3000, -3000), Qt::LeftButton);
    SendMouse(Game(), QEvent::MouseButtonRelease, QPoint(-3000, -3000), Qt::NoButton);
    ASSERT_TRUE(WaitFor([&] { return Game()->size() == Game()->maximumSize(); }));
    EXPECT_EQ(Game()->geometry().bottomRight(), before.bottomRight());
    // The controls follow the size.
    EXPECT_EQ(Game()->FlashControl()->geometry(),
              QRect(2, 29, Game()->width() - 4, Game()->height() - 31));
}

TEST_F(GameRoad, RestoringFromTheTaskBarTellsTheMovie) {
    EnterGame();
    ASSERT_TRUE(WaitFor([this] { return m_movieState.endsWith("resize=0"); }))
        << m_movieState.toStdString();
    Game()->showMinimized();
    ASSERT_TRUE(WaitFor([this] { return Game()->isMinimized(); }));
    Game()->showNormal();
    ASSERT_TRUE(WaitFor([this] { return m_movieState.endsWith("resize=1"); }))
        << m_movieState.toStdString();
}

TEST_F(GameRoad, TheMoviesGameRefreshLeadsToANewGameWindow) {
    EnterGame();
    QPointer<CFlashPayer> first = Game();
    ASSERT_TRUE(WaitFor([this] { return m_movieState.startsWith("sysmem="); }));
    // The movie's own refresh button, at stage (40, 260)-(280, 320) of its 1000 x 600 stage,
    // shown scaled to fit and centred.
    QWidget* input = first->FlashControl()->focusProxy();
    ASSERT_NE(input, nullptr);
    const QPoint button = StagePoint(160, 290);
    int tries = 0;
    ASSERT_TRUE(WaitFor([&] {
        const bool refreshing = !test::App()->Flow().GameLoaded() || Game() != first;
        if (!refreshing && tries++ % 25 == 0) {
            QTest::mouseClick(input, Qt::LeftButton, {}, button);
        }
        return refreshing;
    }));
    ASSERT_TRUE(WaitFor([&] { return Game() != first && Game() != nullptr; }));
    EXPECT_TRUE(test::App()->Flow().GameLoaded());
    ASSERT_TRUE(WaitFor([&] { return first.isNull(); }));  // the old window went away
    EXPECT_TRUE(m_messages.empty());                       // the movie's refresh asks nothing
}

TEST_F(GameRoad, TheRefreshButtonAsksAndYesReloadsOnce) {
    EnterGame();
    QPointer<CFlashPayer> first = Game();
    Game()->m_btnRefresh.click();  // answered No
    ASSERT_EQ(m_messages, std::vector<QString>{QStringLiteral("是否刷新游戏?")});
    EXPECT_TRUE(test::App()->Flow().GameLoaded());
    m_answer = MessageAnswer::kYes;
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QApplication::sendEvent(first, &f5);
    QApplication::sendEvent(first, &f5);  // a second Yes before the new window: no second load
    EXPECT_EQ(m_messages.size(), 3u);
    ASSERT_TRUE(WaitFor([&] { return Game() != first && Game() != nullptr; }));
    test::Pump(std::chrono::milliseconds(1500));
    ASSERT_NE(Game(), nullptr);
    EXPECT_TRUE(test::App()->Flow().GameLoaded());
    // One trip through the area page, with its time parameter.
    EXPECT_EQ(m_service.CountRequests("GET /game/area.html?server=1&v="), 1);
}

TEST_F(GameRoad, AWindowReplacedWhileItsQuestionIsOpenGoesOnlyAfterTheAnswer) {
    EnterGame();
    QPointer<CFlashPayer> first = Game();
    m_answer = MessageAnswer::kYes;
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QApplication::sendEvent(first, &f5);  // Yes: the area page reloads
    // The second question stays open, with its own event loop, until the new window is up.
    bool stillThereUnderTheBox = false;
    SetMessageBoxHook([&](const MessageRequest&) {
        QEventLoop box;
        QObject::connect(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened, &box,
                         &QEventLoop::quit);
        QTimer::singleShot(20000, &box, &QEventLoop::quit);
        box.exec();
        test::Pump(std::chrono::milliseconds(200));
        stillThereUnderTheBox = !first.isNull();
        return MessageAnswer::kYes;
    });
    QApplication::sendEvent(first, &f5);
    EXPECT_TRUE(stillThereUnderTheBox);
    ASSERT_NE(Game(), first);
    EXPECT_TRUE(test::App()->Flow().GameLoaded());
    EXPECT_TRUE(WaitFor([&] { return first.isNull(); }));
    test::Pump(std::chrono::milliseconds(1000));
    EXPECT_EQ(m_service.CountRequests("GET /game/area.html?server=1&v="), 1);
}

TEST_F(GameRoad, RestoringAWindowWhoseRefreshIsUnderWayDoesNotWaitForItsMovie) {
    EnterGame();
    QPointer<CFlashPayer> first = Game();
    m_answer = MessageAnswer::kYes;
    first->RefreshGame();  // the new window comes while the old one is being restored
    first->showMinimized();
    ASSERT_TRUE(WaitFor([&] { return first.isNull() || first->isMinimized(); }));
    if (!first.isNull()) {
        first->showNormal();
    }
    ASSERT_TRUE(WaitFor([&] { return Game() != first && Game() != nullptr; }));
    EXPECT_TRUE(WaitFor([&] { return first.isNull(); }));
    EXPECT_TRUE(test::App()->Flow().GameLoaded());
}

TEST_F(GameRoad, QuittingAsksFirstAndEndsTheProgram) {
    EnterGame();
    Game()->m_btnClose.click();  // No: the game goes on
    EXPECT_FALSE(test::App()->Flow().Ending());
    EXPECT_TRUE(Game()->isVisible());
    m_answer = MessageAnswer::kYes;
    Game()->m_btnClose.click();
    EXPECT_EQ(m_messages, std::vector<QString>(2, QStringLiteral("是否退出游戏?")));
    EXPECT_TRUE(test::App()->Flow().Ending());
}

TEST_F(GameRoad, EscapeDoesNothingAndClosingFromOutsideEndsWithoutAsking) {
    EnterGame();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(Game(), &esc);
    EXPECT_FALSE(test::App()->Flow().Ending());
    Game()->close();
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(test::App()->Flow().Ending());
}

// The player comes with the launcher: without its files the installation is damaged, and a
// Flash download page would not help.
TEST_F(GameRoad, WithoutThePlayersFilesTheInstallationIsDamagedAndItEnds) {
    QTemporaryDir empty;
    SetRuffleFolder(empty.path());
    test::App()->Flow().ShowLogin(m_platform);
    ASSERT_TRUE(WaitFor([this] { return LoginView()->title().contains("Tavrin"); }));
    LoginView()->page()->runJavaScript(QStringLiteral("document.forms[0].submit()"));
    ASSERT_TRUE(WaitFor([] { return test::App()->Flow().Ending(); }));
    SetRuffleFolder(QStringLiteral(TAVRIN_RUFFLE_DIR));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("游戏播放组件缺失，安装已损坏。")));
    EXPECT_TRUE(m_messages[0].contains(QDir::toNativeSeparators(empty.path())));
    EXPECT_TRUE(m_opened.empty());
    EXPECT_TRUE(Game() == nullptr || !Game()->isVisible());
}

}  // namespace
}  // namespace tavrin::ui

namespace tavrin::ui {
namespace {

TEST(FlashPlayer, AnAnswerThatComesAfterTheWaitGaveUpIsDropped) {
    CShockwaveflash1 player;
    QSignalSpy loaded(player.page(), &QWebEnginePage::loadFinished);
    // A movie callback that takes three seconds, longer than a call waits.
    player.page()->setHtml(
        QStringLiteral("<script>window.__tavrinCallFunction = function () {"
                       "  const end = Date.now() + 3000; while (Date.now() < end) {}"
                       "  return '<string>late</string>'; };</script>"));
    ASSERT_TRUE(WaitFor([&] { return loaded.count() > 0; }));
    EXPECT_EQ(player.CallFunction(QStringLiteral("<invoke name=\"stageResize\"/>")), QString());
    EXPECT_FALSE(player.InNestedWait());
    test::Pump(std::chrono::milliseconds(1500));  // the late answer arrives meanwhile
    player.page()->runJavaScript(QStringLiteral(
        "window.__tavrinCallFunction = function () { return '<string>quick</string>'; }"));
    EXPECT_EQ(player.CallFunction(QStringLiteral("<invoke name=\"stageResize\"/>")),
              QStringLiteral("<string>quick</string>"));
}

TEST(FlashPlayer, AMovieThatCannotPlaySaysSoInThePlayersLanguage) {
    test::HttpPeer operatorSite([](const test::HttpRequest& request) {
        if (request.target == "/missing.swf") {
            return test::MakeReply(404, "<h1>not here</h1>", "text/html");
        }
        return test::MakeReply(200, "this is not a movie", "application/x-shockwave-flash");
    });
    test::TempDir empty;
    const struct {
        std::string path;
        QString ruffleFolder;  // empty: the installed player
        QString says;
    } cases[] = {
        {"/missing.swf", {}, QStringLiteral("游戏文件无法下载或无法播放。")},
        {"/text.swf", {}, QStringLiteral("游戏文件无法下载或无法播放。")},
        {"/text.swf", QString::fromStdString(empty.Path()),
         QStringLiteral("Flash 播放器无法启动。")},
    };
    for (const auto& c : cases) {
        const QString installed = RuffleFolder();
        if (!c.ruffleFolder.isEmpty()) {
            SetRuffleFolder(c.ruffleFolder);
        }
        CShockwaveflash1 player;
        QSignalSpy failed(&player, &CShockwaveflash1::PlayerFailed);
        player.resize(800, 500);
        player.show();
        player.put_Movie(QString::fromStdString(operatorSite.Url(c.path)));
        EXPECT_TRUE(WaitFor([&] { return failed.count() > 0; })) << c.path;
        SetRuffleFolder(installed);
        if (failed.isEmpty()) {
            continue;
        }
        EXPECT_EQ(failed[0][0].toString(), c.says) << c.path;
        QString shown;
        player.page()->runJavaScript(QStringLiteral("document.getElementById('status').innerText"),
                                     [&](const QVariant& text) { shown = text.toString(); });
        ASSERT_TRUE(WaitFor([&] { return !shown.isEmpty(); }));
        EXPECT_TRUE(shown.contains(QStringLiteral("游戏载入失败"))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("F5"))) << shown.toStdString();
    }
}

}  // namespace
}  // namespace tavrin::ui
