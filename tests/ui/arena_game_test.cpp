// An operator's ActionScript 3 game in the real launcher: the demo's arena (built with Haxe)
// against the demo service and its game server, and the same movie in a player of its own
// where a case needs other flash variables or game servers.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include "game_road.h"
#include "ui/browser_profile.h"
#include "ui/game_window.h"
#include "ui/shell_open.h"
#include "ui/socket_bridge.h"
#include "ui/tavrin_app.h"
#include "ui_support.h"

namespace tavrin::ui {
namespace {

using test::WaitFor;

// Presses the mouse at a point of the movie until `done` holds (the player takes a moment
// before its buttons answer).
bool ClickUntil(QWidget* input, QPoint at, const std::function<bool()>& done,
                Qt::MouseButton button = Qt::LeftButton) {
    for (int tries = 0; tries < 10; ++tries) {
        QTest::mouseClick(input, button, {}, at);
        if (WaitFor(done, std::chrono::seconds(2))) {
            return true;
        }
    }
    return false;
}

TEST_F(GameRoad, TheArenaTalksToItsGameServerThroughTheBridge) {
    EnterGame("3");
    ASSERT_TRUE(WaitForMovieState(QStringLiteral("socket"), QStringLiteral("connected")));
    ASSERT_TRUE(WaitFor([&] {
        return MovieState(QStringLiteral("heard")).startsWith("WELCOME demo");
    })) << m_movieState.toStdString();
    CSocketBridge* bridge = Game()->FlashControl()->SocketBridge();
    ASSERT_NE(bridge, nullptr);
    EXPECT_EQ(bridge->OpenConnections(), 1);
    EXPECT_EQ(AskArena(QStringLiteral("say:你好，桥")), QStringLiteral("<string>ok</string>"));
    EXPECT_TRUE(WaitForMovieState(QStringLiteral("heard"), QStringLiteral("SAID demo: 你好，桥")));
    // The movie closes its socket; the bridge lets go of the server.
    AskArena(QStringLiteral("close"));
    EXPECT_TRUE(WaitForMovieState(QStringLiteral("socket"), QStringLiteral("closed")));
    EXPECT_TRUE(WaitFor([&] { return bridge->OpenConnections() == 0; }));
    AskArena(QStringLiteral("connect"));
    EXPECT_TRUE(WaitForMovieState(QStringLiteral("socket"), QStringLiteral("connected")));
}

// As a page served from the Internet is kept by its engine from this machine's addresses: its
// WebSockets to loopback fail. The game's sockets do not need one.
TEST_F(GameRoad, TheArenaChatsWhenThePageCannotReachThisMachine) {
    QWebEngineScript noLoopback;
    noLoopback.setName(QStringLiteral("no-loopback"));
    noLoopback.setInjectionPoint(QWebEngineScript::DocumentCreation);
    noLoopback.setWorldId(QWebEngineScript::MainWorld);
    noLoopback.setSourceCode(QStringLiteral(
        "(function(){const Native=window.WebSocket;window.__loopbackRefused=0;"
        "window.WebSocket=function(url,p){if(/^wss?:\\/\\/(127\\.|localhost|\\[::1\\])/"
        ".test(String(url))){"
        "++window.__loopbackRefused;throw new DOMException('local network access denied',"
        "'SecurityError');}return p===undefined?new Native(url):new Native(url,p);};})();"));
    LauncherProfile()->scripts()->insert(noLoopback);
    EnterGame("3");
    const bool connected = WaitForMovieState(QStringLiteral("socket"), QStringLiteral("connected"));
    LauncherProfile()->scripts()->remove(noLoopback);
    ASSERT_TRUE(connected);
    EXPECT_EQ(AskArena(QStringLiteral("say:不经本机")), QStringLiteral("<string>ok</string>"));
    EXPECT_TRUE(WaitForMovieState(QStringLiteral("heard"), QStringLiteral("SAID demo: 不经本机")));
    QWebEnginePage* page = Game()->FlashControl()->page();
    EXPECT_EQ(test::PageResult(page, QStringLiteral("String(window.__loopbackRefused)")),
              QStringLiteral("0"));
    EXPECT_EQ(test::PageResult(page, QStringLiteral("typeof window.__loopbackRefused")),
              QStringLiteral("number"));  // the script was in the page
}

TEST_F(GameRoad, AConnectThatTakesItsTimeLeavesTheMovieRunning) {
    EnterGame("3");
    ASSERT_TRUE(WaitForMovieState(QStringLiteral("socket"), QStringLiteral("connected")));
    // A server that takes the connection and never answers the policy request: the launcher
    // waits its 3 s for a policy, and the movie must not wait with it.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(AskArena(QStringLiteral("connect:127.0.0.1:%1").arg(silent.serverPort())),
              QStringLiteral("<string>ok</string>"));
    EXPECT_LT(clock.elapsed(), 1000);
    const int before =
        AskArena(QStringLiteral("frames")).remove(QRegularExpression("<[^>]*>")).toInt();
    test::Pump(std::chrono::milliseconds(1000));
    const int after =
        AskArena(QStringLiteral("frames")).remove(QRegularExpression("<[^>]*>")).toInt();
    EXPECT_GT(after - before, 10) << "the movie's frames stood still while its connect waited";
    // No policy in the end: the socket closes, and the server never saw the movie's bytes.
    EXPECT_TRUE(WaitForMovieState(QStringLiteral("socket"), QStringLiteral("closed")));
    QByteArray received;
    while (QTcpSocket* peer = silent.nextPendingConnection()) {
        received += peer->readAll();
    }
    EXPECT_EQ(received, QByteArray("<policy-file-request/>\0", 23));
}

TEST_F(GameRoad, TheArenasChineseDeviceTextIsDrawn) {
    EnterGame("3");
    ASSERT_TRUE(WaitFor([&] { return !MovieState(QStringLiteral("visits")).isEmpty(); }));
    test::Pump(std::chrono::milliseconds(1000));
    test::SaveScreenshot(Game(), QStringLiteral("arena-game"));
    // The probe line holds Chinese characters only, white on the dark stage.
    CShockwaveflash1* player = Game()->FlashControl();
    const QImage shot = player->grab().toImage();
    const QRect probe(StagePoint(40, 90), StagePoint(460, 140));
    int bright = 0;
    for (int y = probe.top(); y < probe.bottom(); ++y) {
        for (int x = probe.left(); x < probe.right(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            bright += c.red() > 180 && c.green() > 180 && c.blue() > 180;
        }
    }
    EXPECT_GT(bright, probe.width() * probe.height() / 50) << "the Chinese text did not show";
}

TEST_F(GameRoad, KeysReachTheArenaBeforeAnyClickAndF5StillAsks) {
    EnterGame("3");
    ASSERT_TRUE(WaitFor([&] { return !MovieState(QStringLiteral("visits")).isEmpty(); }));
    QWidget* input = Game()->FlashControl()->focusProxy();
    ASSERT_NE(input, nullptr);
    // As the X server reports the key Q: the player reads the physical key, which Qt takes
    // from the native scan code.
    const auto typeQ = [input](QEvent::Type type) {
        QKeyEvent key(type, Qt::Key_Q, Qt::NoModifier, 24, 0x71, 0, QStringLiteral("q"));
        QApplication::sendEvent(input, &key);
    };
    ASSERT_TRUE(WaitFor([&] {
        typeQ(QEvent::KeyPress);
        typeQ(QEvent::KeyRelease);
        return MovieState(QStringLiteral("keys")).contains(QLatin1Char('q'));
    })) << m_movieState.toStdString();
    QTest::keyClick(input, Qt::Key_F5);
    EXPECT_EQ(m_messages, std::vector<QString>{QStringLiteral("是否刷新游戏?")});
}

TEST_F(GameRoad, EveryExternalInterfaceCallGoesToTheLauncherAndRunsNoScript) {
    EnterGame("3");
    ASSERT_TRUE(WaitFor([&] { return !MovieState(QStringLiteral("visits")).isEmpty(); }));
    EXPECT_EQ(AskArena(QStringLiteral("probe")), QStringLiteral("<string>done</string>"));
    EXPECT_TRUE(WaitForMovieState(QStringLiteral("probe"), QStringLiteral("null,null,null")));
    for (const char* name : {"function(){document.title='probe';return 'ran';}",
                             "document.title.toString", "tavrinNoSuchName", "GetSysMem"}) {
        EXPECT_NE(std::find(m_movieCalls.begin(), m_movieCalls.end(), name), m_movieCalls.end())
            << name;
    }
    EXPECT_NE(test::PageResult(Game()->FlashControl()->page(), QStringLiteral("document.title")),
              QStringLiteral("probe"));
}

TEST_F(GameRoad, TheArenasLinkOpensInThePlayersBrowserAndTheGameStays) {
    EnterGame("3");
    ASSERT_TRUE(WaitFor([&] { return !MovieState(QStringLiteral("visits")).isEmpty(); }));
    const QUrl page = Game()->FlashControl()->page()->url();
    AskArena(QStringLiteral("recharge"));
    ASSERT_TRUE(WaitFor([&] { return !m_opened.empty(); }));
    EXPECT_EQ(m_opened[0].rfind(m_service.Url("/site/recharge.html"), 0), 0u) << m_opened[0];
    test::Pump(std::chrono::milliseconds(500));
    EXPECT_EQ(Game()->FlashControl()->page()->url(), page);
    EXPECT_TRUE(test::App()->Flow().GameLoaded());
}

TEST_F(GameRoad, FullScreenFromTheMovieAndBackWithEscape) {
    EnterGame("3");
    ASSERT_TRUE(WaitFor([&] { return !MovieState(QStringLiteral("visits")).isEmpty(); }));
    const QRect framed = Game()->geometry();
    QWidget* input = Game()->FlashControl()->focusProxy();
    ASSERT_TRUE(ClickUntil(input, StagePoint(480, 502), [&] { return Game()->IsFullScreen(); }));
    EXPECT_TRUE(WaitForMovieState(QStringLiteral("fullscreen"), QStringLiteral("1")));
    EXPECT_TRUE(WaitFor([&] { return Game()->FlashControl()->geometry() == Game()->rect(); }));
    QTest::keyClick(input, Qt::Key_Escape);
    EXPECT_TRUE(WaitForMovieState(QStringLiteral("fullscreen"), QStringLiteral("0")));
    EXPECT_FALSE(Game()->IsFullScreen());
    EXPECT_TRUE(WaitFor([&] { return Game()->geometry() == framed; }));
    EXPECT_FALSE(test::App()->Flow().Ending());
}

TEST_F(GameRoad, TheArenasSavedDataOutlivesARefresh) {
    EnterGame("3");
    ASSERT_TRUE(WaitFor([&] { return !MovieState(QStringLiteral("visits")).isEmpty(); }));
    const int visits = MovieState(QStringLiteral("visits")).toInt();
    QPointer<CFlashPayer> first = Game();
    m_answer = MessageAnswer::kYes;
    first->RefreshGame();
    ASSERT_TRUE(WaitFor([&] { return Game() != first && Game() != nullptr; }));
    EXPECT_TRUE(WaitForMovieState(QStringLiteral("visits"), QString::number(visits + 1)));
}

// The arena in a player of its own, with the given flash variables and game servers.
struct ArenaPlayer {
    ArenaPlayer(const std::string& movie, const QString& vars,
                const std::vector<SocketEndpoint>& servers, bool menu = false) {
        QObject::connect(&player, &CShockwaveflash1::FlashCall, [this](const QString& request) {
            const int at = request.indexOf(QLatin1String("<string>game=arena"));
            if (at >= 0) {
                state = request.mid(at + 8, request.indexOf(QLatin1String("</string>")) - at - 8);
            }
        });
        player.resize(1000, 600);
        player.show();
        player.put_AllowScriptAccess(QStringLiteral("sameDomain"));
        player.put_Menu(menu);
        player.put_FlashVars(vars);
        player.SetSocketEndpoints(servers);
        player.put_Movie(QString::fromStdString(movie));
    }
    bool WaitForState(const QString& part) {
        const bool reached = WaitFor([&] { return state.contains(part); });
        if (!reached) {
            ADD_FAILURE() << "no " << part.toStdString() << " in " << state.toStdString();
        }
        return reached;
    }
    CShockwaveflash1 player;
    QString state;
};

TEST_F(GameRoad, SocketOutcomesReachTheMovieAsFlashDeliveredThem) {
    QTcpServer refusing;
    refusing.listen(QHostAddress::LocalHost, 0);
    const quint16 refusedPort = refusing.serverPort();
    refusing.close();
    QTcpServer brief;  // greets and hangs up
    brief.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&brief, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = brief.nextPendingConnection();
        s->write("WELCOME brief\n");
        s->disconnectFromHost();
    });
    const SocketEndpoint listedButRefused{"127.0.0.1", refusedPort};
    const SocketEndpoint briefServer{"127.0.0.1", brief.serverPort()};
    const struct {
        quint16 port;
        std::vector<SocketEndpoint> listed;
        QString outcome;
    } cases[] = {
        {refusedPort, {listedButRefused}, QStringLiteral("socket=ioerror")},
        {brief.serverPort(), {listedButRefused}, QStringLiteral("socket=ioerror")},  // not listed
        {brief.serverPort(), {}, QStringLiteral("socket=ioerror")},
        {brief.serverPort(), {briefServer}, QStringLiteral("heard=WELCOME brief;")},
    };
    for (const auto& c : cases) {
        ArenaPlayer arena(m_service.Url("/game/arena.swf"),
                          QStringLiteral("player=t&chat=127.0.0.1:%1").arg(c.port), c.listed);
        EXPECT_TRUE(arena.WaitForState(c.outcome)) << c.port;
        if (c.outcome.startsWith(QLatin1String("heard"))) {
            EXPECT_TRUE(arena.WaitForState(QStringLiteral("socket=closed")));
        }
    }
}

TEST_F(GameRoad, OnlyWebAddressesOfTheMovieLeaveTheLauncher) {
    const struct {
        QString recharge;
        bool opened;
    } cases[] = {
        {QStringLiteral("https://pay.example/charge?a=1"), true},
        {QStringLiteral("javascript:document.title='ran'"), false},
        {QStringLiteral("file:///etc/passwd"), false},
    };
    for (const auto& c : cases) {
        m_opened.clear();
        ArenaPlayer arena(m_service.Url("/game/arena.swf"),
                          QStringLiteral("recharge=") + QUrl::toPercentEncoding(c.recharge), {});
        ASSERT_TRUE(arena.WaitForState(QStringLiteral("visits=")));
        arena.player.CallFunction(QStringLiteral(
            "<invoke name=\"tavrinDemo\" returntype=\"xml\"><arguments><string>recharge</string>"
            "</arguments></invoke>"));
        test::Pump(std::chrono::milliseconds(700));
        EXPECT_EQ(m_opened.size(), c.opened ? 1u : 0u) << c.recharge.toStdString();
        EXPECT_NE(test::PageResult(arena.player.page(), QStringLiteral("document.title")),
                  QStringLiteral("ran"));
        EXPECT_EQ(arena.player.page()->url(),
                  QUrl(QString::fromStdString(m_service.Url("/game/arena.swf"))));
    }
}

TEST_F(GameRoad, WithoutTheMenuARightClickShowsNoPlayerMenu) {
    for (const bool menu : {true, false}) {
        ArenaPlayer arena(m_service.Url("/game/arena.swf"), QStringLiteral("player=t"), {}, menu);
        ASSERT_TRUE(arena.WaitForState(QStringLiteral("visits=")));
        QWidget* input = arena.player.focusProxy();
        const QString menuShown = QStringLiteral(
            "(() => { const m = document.getElementById('player').shadowRoot"
            ".getElementById('context-menu-overlay');"
            " return String(!!m && getComputedStyle(m).display !== 'none'); })()");
        QTest::mouseClick(input, Qt::RightButton, {}, QPoint(700, 300));
        const bool shown =
            WaitFor([&] { return test::PageResult(arena.player.page(), menuShown) == "true"; },
                    std::chrono::milliseconds(menu ? 10000 : 1500));
        EXPECT_EQ(shown, menu);
    }
}

}  // namespace
}  // namespace tavrin::ui

namespace tavrin::ui {
namespace {

TEST_F(GameRoad, TheWholeStageShowsWithoutBarsOverWhatLiesBeyondIt) {
    // A player taller than the stage's shape: the stage fits the width, and above and below
    // it shows what the movie draws there (the arena's band beyond its stage), as in the
    // Flash control, rather than bars.
    ArenaPlayer arena(m_service.Url("/game/arena.swf"), QStringLiteral("player=t"), {});
    arena.player.resize(1000, 800);
    ASSERT_TRUE(arena.WaitForState(QStringLiteral("visits=")));
    test::Pump(std::chrono::milliseconds(500));
    const QImage shot = arena.player.grab().toImage();
    for (const QPoint at : {QPoint(500, 30), QPoint(500, 770)}) {
        EXPECT_EQ(shot.pixelColor(at).rgb() & 0xFFFFFF, 0x3A2414u) << at.x() << "," << at.y();
    }
}

}  // namespace
}  // namespace tavrin::ui
