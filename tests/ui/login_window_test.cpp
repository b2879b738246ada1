// The login window and its control layer as the player meets them: real windows on a
// (virtual) display, the login road against a scripted HTTP peer.
#include "ui/login_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include <QBitmap>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include "app/config.h"
#include "support/http_peer.h"
#include "ui/browser_profile.h"
#include "ui/desktop_effects.h"
#include "ui/game_window.h"
#include "ui/message_box.h"
#include "ui/popup_catcher.h"
#include "ui/redraw_button.h"
#include "ui/shell_open.h"
#include "ui/tavrin_app.h"
#include "ui_support.h"

namespace tavrin::ui {
namespace {

using test::HttpPeer;
using test::HttpReply;
using test::HttpRequest;
using test::MakeReply;
using test::WaitFor;

// A refresh goes through `areaPage`.
std::string ClientDocument(bool open, const std::string& movie, const std::string& errorPage,
                           const std::string& areaPage = "") {
    return "<c><clientConfig mainFlash=\"" + movie + "\" title=\"T\" isOpen=\"" +
           (open ? "1" : "0") + "\" errorPage=\"" + errorPage + "\" area_url=\"" + areaPage +
           "\"/></c>";
}

class LoginWindow : public ::testing::Test {
protected:
    LoginWindow() : m_peer([this](const HttpRequest& request) { return Serve(request); }) {}

    void SetUp() override {
        // The profile lives as long as the test program: start without the last test's
        // cookies (cookies do not tell ports apart).
        LauncherProfile()->cookieStore()->deleteAllCookies();
        ASSERT_TRUE(WaitFor([] { return BrowserCookies().empty(); }));
        m_platform.minMainPage = m_peer.Url("/login");
        m_platform.szVerify = "/verify";
        m_platform.officialUrl = m_peer.Url("/official");
        test::RecordOutsideCalls(m_opened, m_messages, m_answer);
    }
    void TearDown() override { test::StopRecordingOutsideCalls(); }

    HttpReply Serve(const HttpRequest& request) {
        const std::string& t = request.target;
        if (t == "/login") {
            return MakeReply(200, test::HtmlPage("<p>login</p>", "<title>login</title>"),
                             "text/html", "Set-Cookie: sid=s3cret; Path=/; HttpOnly\r\n");
        }
        if (t.rfind("/verify?session", 0) == 0) {
            const auto cookie = request.headers.find("cookie");
            const bool session = cookie != request.headers.end() &&
                                 cookie->second.find("sid=s3cret") != std::string::npos;
            // A refresh comes back here, on whatever session the browser then has.
            return MakeReply(200,
                             ClientDocument(session, m_peer.Url("/m.swf"), m_peer.Url("/error"),
                                            m_peer.Url("/verify?session&u=2")));
        }
        if (t == "/file.zip") {
            return MakeReply(200, "PK", "application/zip",
                             "Content-Disposition: attachment; filename=\"file.zip\"\r\n");
        }
        if (t == "/secret") {
            return MakeReply(401, "no", "text/html", "WWW-Authenticate: Basic realm=\"x\"\r\n");
        }
        if (t.rfind("/verify?open", 0) == 0) {
            // "&area=X": the refresh's area page leads to the verification "/verify?X".
            const std::size_t area = t.find("&area=");
            const std::string areaPage = area == std::string::npos
                                             ? m_peer.Url("/area?s=1")
                                             : m_peer.Url("/verify?" + t.substr(area + 6));
            return MakeReply(
                200, ClientDocument(true, m_peer.Url("/m.swf"), m_peer.Url("/error"), areaPage));
        }
        if (t.rfind("/verify?closed", 0) == 0) {
            return MakeReply(200, ClientDocument(false, "", m_peer.Url("/error")));
        }
        if (t.rfind("/verify?broken", 0) == 0) {
            return MakeReply(200, test::HtmlPage("<p>maintenance</p>"), "text/html");
        }
        if (t.rfind("/verify?flaky", 0) == 0) {
            // The browser's request and the launcher's first fail; the launcher's retry works.
            const bool works = ++m_flakyRequests > 2;
            return works ? MakeReply(200, ClientDocument(true, m_peer.Url("/m.swf"), ""))
                         : MakeReply(502, "<p>bad gateway</p>", "text/html");
        }
        return MakeReply(
            200, test::HtmlPage("<p>page " + t + "</p>", "<title>" + t.substr(1) + "</title>"),
            "text/html");
    }

    CTavrinDlg* Open() {
        test::App()->Flow().ShowLogin(m_platform);
        CTavrinDlg* dlg = test::App()->Windows().LoginWindow();
        EXPECT_TRUE(WaitFor([dlg] { return dlg->ControlLayer().View()->title() == "login"; }));
        return dlg;
    }

    CMLHtmlView* View() { return test::App()->Windows().LoginWindow()->ControlLayer().View(); }
    CFlashPayer* Game() { return test::App()->Windows().GameWindow(); }
    LauncherFlow& Flow() { return test::App()->Flow(); }

    int RequestsFor(const std::string& prefix) const {
        int n = 0;
        for (const HttpRequest& r : m_peer.Requests()) {
            n += r.target.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }

    HttpPeer m_peer;
    PlatformConfigData m_platform;
    std::vector<std::string> m_opened;
    std::vector<QString> m_messages;
    MessageAnswer m_answer = MessageAnswer::kNo;
    std::atomic<int> m_flakyRequests{0};
};

void SendMouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), QPointF(to->mapToGlobal(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

// Drags `grab` by `delta` from the point `at` of that widget.
void Drag(QWidget* grab, QPoint at, QPoint delta) {
    SendMouse(grab, QEvent::MouseButtonPress, at, Qt::LeftButton);
    SendMouse(grab, QEvent::MouseMove, at + delta, Qt::LeftButton);
    SendMouse(grab, QEvent::MouseButtonRelease, at + delta, Qt::NoButton);
}

TEST_F(LoginWindow, OpensAtTheScreenCornerWithItsLayerButtonsAndBrowserInPlace) {
    CTavrinDlg* dlg = Open();
    EXPECT_EQ(dlg->pos(), QGuiApplication::primaryScreen()->geometry().topLeft());
    EXPECT_EQ(dlg->size(), QSize(862, 543));
    CControlLayerDlg& layer = dlg->ControlLayer();
    EXPECT_EQ(layer.geometry(), QRect(22, 59, 791, 462));
    EXPECT_EQ(layer.View()->geometry(), QRect(32, 78, 692, 346));
    EXPECT_EQ(layer.View()->objectName(), "1002");
    const struct {
        CRedrawButton* button;
        QRect place;
        int normalImage;
    } buttons[] = {
        {&layer.m_btnOfficial, {307, 21, 86, 26}, 149},
        {&layer.m_btnRecharge, {397, 21, 86, 26}, 152},
        {&layer.m_btnForum, {487, 21, 86, 26}, 155},
        {&layer.m_btnService, {577, 21, 86, 26}, 158},
        {&layer.m_btnMinimize, {674, 11, 24, 21}, 164},
        {&layer.m_btnClose, {699, 11, 23, 21}, 161},
    };
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->geometry(), b.place) << b.normalImage;
        EXPECT_EQ(b.button->m_nImage[kStateNormal], b.normalImage);
    }
    EXPECT_EQ(dlg->windowTitle(), "tavrin_ui_tests");
    test::Pump(std::chrono::milliseconds(300));
    test::SaveScreenshot(dlg, QStringLiteral("login-window"));
}

// A pixel of the picture that is neither clear nor mostly opaque: a soft edge.
QPoint SoftEdgePixel() {
    const QImage picture = LoadPngResource(146).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const int alpha = qAlpha(picture.pixel(x, y));
            if (alpha > 0 && alpha < 128) {
                return {x, y};
            }
        }
    }
    return {-1, -1};
}

void ExpectShape(CTavrinDlg* dlg, bool softEdgesIncluded) {
    const QRegion shape = dlg->mask();
    ASSERT_FALSE(shape.isEmpty());
    EXPECT_FALSE(shape.contains(QPoint(861, 542)));  // a transparent corner lets input through
    EXPECT_TRUE(shape.contains(QPoint(400, 300)));   // the screen area
    const QPoint soft = SoftEdgePixel();
    ASSERT_GE(soft.x(), 0);
    EXPECT_EQ(shape.contains(soft), softEdgesIncluded);
}

TEST_F(LoginWindow, WithoutACompositorTakesTheHardEdgedShapeOfThePicture) {
    ASSERT_FALSE(HasCompositor()) << "this test expects a display without a compositor";
    ExpectShape(Open(), false);
}

TEST_F(LoginWindow, WithACompositorKeepsTheSoftEdges) {
    QProcess compositor;
    compositor.start(QStringLiteral("xcompmgr"), QStringList());
    if (!compositor.waitForStarted(5000)) {
        GTEST_SKIP() << "xcompmgr is not installed";
    }
    ASSERT_TRUE(WaitFor([] { return HasCompositor(); }));
    CTavrinDlg* dlg = Open();
    ExpectShape(dlg, true);
    test::Pump(std::chrono::milliseconds(300));
    test::SaveScreenshot(dlg, QStringLiteral("login-window-composited"));
    compositor.kill();
    compositor.waitForFinished(5000);
}

TEST_F(LoginWindow, DraggingThePictureOrTheLayerBandMovesTheWholeWindow) {
    CTavrinDlg* dlg = Open();
    const QPoint start = dlg->pos();
    Drag(dlg, QPoint(8, 300), QPoint(40, 25));
    ASSERT_TRUE(WaitFor([&] { return dlg->pos() == start + QPoint(40, 25); }));
    // The layer's top band drags too, and the layer stays at its offset.
    Drag(&dlg->ControlLayer(), QPoint(100, 50), QPoint(-10, 5));
    ASSERT_TRUE(WaitFor([&] { return dlg->pos() == start + QPoint(30, 30); }));
    // Below the band the press falls through to the picture, which drags the window as well.
    Drag(&dlg->ControlLayer(), QPoint(10, 200), QPoint(5, 5));
    ASSERT_TRUE(WaitFor([&] { return dlg->pos() == start + QPoint(35, 35); }));
    EXPECT_EQ(dlg->ControlLayer().pos(), QPoint(22, 59));
}

// The real pointer, as the X server sees it (xdotool); false when xdotool is missing.
bool Pointer(const QStringList& actions) {
    return QProcess::execute(QStringLiteral("xdotool"), actions) == 0;
}

TEST_F(LoginWindow, WithAWindowManagerTheWindowSystemMovesIt) {
    QProcess manager;
    manager.start(QStringLiteral("openbox"), QStringList());
    if (!manager.waitForStarted(5000)) {
        GTEST_SKIP() << "openbox is not installed";
    }
    test::Pump(std::chrono::milliseconds(1500));  // until it has taken the screen
    CTavrinDlg* dlg = Open();
    test::Pump(std::chrono::milliseconds(500));
    const QPoint start = dlg->pos();
    const QPoint at = dlg->mapToGlobal(QPoint(8, 300));
    if (!Pointer(
            {"mousemove", QString::number(at.x()), QString::number(at.y()), "mousedown", "1"})) {
        GTEST_SKIP() << "xdotool is not installed";
    }
    test::Pump(std::chrono::milliseconds(300));
    // The press went to the window manager's move, not to the manual drag.
    EXPECT_FALSE(dlg->m_bDragging);
    for (int step = 1; step <= 5; ++step) {
        Pointer(
            {"mousemove", QString::number(at.x() + 8 * step), QString::number(at.y() + 5 * step)});
        test::Pump(std::chrono::milliseconds(50));
    }
    Pointer({"mouseup", "1"});
    EXPECT_TRUE(WaitFor([&] { return dlg->pos() == start + QPoint(40, 25); }))
        << dlg->pos().x() << "," << dlg->pos().y();
    manager.kill();
    manager.waitForFinished(5000);
}

TEST_F(LoginWindow, EnterAndEscapeDoNotCloseIt) {
    CTavrinDlg* dlg = Open();
    for (const int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dlg, &press);
    }
    test::Pump(std::chrono::milliseconds(200));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(Flow().Ending());
}

TEST_F(LoginWindow, ClosingItEndsTheProgram) {
    CTavrinDlg* dlg = Open();
    dlg->close();  // what Alt+F4 and the system's close do
    EXPECT_TRUE(Flow().Ending());
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(LoginWindow, VerifiedAddressWithTheGameOpenEntersTheGame) {
    CTavrinDlg* dlg = Open();
    QSignalSpy entered(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened);
    View()->Navigate(m_peer.Url("/verify?open&u=1"));
    ASSERT_TRUE(WaitFor([&] { return entered.count() == 1; }));
    EXPECT_TRUE(Flow().GameLoaded());
    EXPECT_FALSE(dlg->isVisible());
    ASSERT_NE(Game(), nullptr);
    EXPECT_TRUE(Game()->isVisible());
    EXPECT_EQ(Game()->FlashControl()->m_propertyLog.last(),
              QString::fromStdString("Movie=" + m_peer.Url("/m.swf")));
    // The launcher fetched the same address itself, and the login page was unloaded.
    EXPECT_EQ(RequestsFor("/verify?open&u=1"), 2);
    ASSERT_TRUE(WaitFor([&] { return View()->GetLocationURL() == "about:blank"; }));
    EXPECT_TRUE(m_opened.empty());
}

TEST_F(LoginWindow, VerifiedAddressWithTheGameClosedGoesBackAndOpensTheErrorPage) {
    CTavrinDlg* dlg = Open();
    QSignalSpy entered(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened);
    // The page's own script goes there, without a user gesture; going back must still work.
    View()->page()->runJavaScript(QStringLiteral("location.href='%1'")
                                      .arg(QString::fromStdString(m_peer.Url("/verify?closed"))));
    ASSERT_TRUE(WaitFor([&] { return !m_opened.empty(); }));
    EXPECT_EQ(m_opened, std::vector<std::string>{m_peer.Url("/error")});
    EXPECT_FALSE(Flow().GameLoaded());
    ASSERT_TRUE(WaitFor([&] { return View()->GetLocationURL() == m_peer.Url("/login"); }));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(entered.count(), 0);
}

TEST_F(LoginWindow, OtherAddressesAndAnEmptyMarkerNeverLeadIntoTheGame) {
    Open();
    QSignalSpy entered(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened);
    View()->Navigate(m_peer.Url("/news"));
    ASSERT_TRUE(WaitFor([&] { return View()->title() == "news"; }));
    m_platform.szVerify.clear();
    Flow().ShowLogin(m_platform);
    View()->Navigate(m_peer.Url("/verify?open"));
    test::Pump(std::chrono::milliseconds(1500));
    EXPECT_EQ(entered.count(), 0);
    EXPECT_EQ(RequestsFor("/news"), 1);         // the browser's request only
    EXPECT_EQ(RequestsFor("/verify?open"), 1);  // no fetch of the client configuration
}

TEST_F(LoginWindow, LinkButtonsOpenTheirAddressesAndEmptyOnesDoNothing) {
    // Only web addresses leave the launcher, whatever the operator's document says.
    m_platform.bbsUrl = "file:///etc/passwd";
    m_platform.svrUrl = "\\\\server\\share\\run.exe";
    CTavrinDlg* dlg = Open();
    dlg->ControlLayer().m_btnOfficial.click();
    dlg->ControlLayer().m_btnRecharge.click();  // no address configured
    dlg->ControlLayer().m_btnForum.click();
    dlg->ControlLayer().m_btnService.click();
    EXPECT_EQ(m_opened, std::vector<std::string>{m_peer.Url("/official")});
    dlg->ControlLayer().m_btnMinimize.click();
    EXPECT_TRUE(WaitFor([&] { return dlg->isMinimized(); }));
}

TEST_F(LoginWindow, ARefreshAsksTheAreaPageWithTheTimeOfNow) {
    Open();
    QSignalSpy entered(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened);
    View()->Navigate(m_peer.Url("/verify?open"));
    ASSERT_TRUE(WaitFor([&] { return entered.count() == 1; }));
    const auto before = static_cast<long long>(std::time(nullptr));
    Flow().MovieAskedRefresh();
    ASSERT_TRUE(WaitFor([&] { return RequestsFor("/area?s=1&v=") == 1; }));
    for (const HttpRequest& r : m_peer.Requests()) {
        if (r.target.rfind("/area", 0) == 0) {
            const long long stamp = std::stoll(r.target.substr(r.target.find("&v=") + 3));
            EXPECT_GE(stamp, before);
            EXPECT_LE(stamp, before + 60);
        }
    }
}

TEST_F(LoginWindow, TheVerificationFetchCarriesTheSessionTheLoginPageStarted) {
    Open();
    ASSERT_TRUE(WaitFor([] { return !BrowserCookies().empty(); }));
    QSignalSpy entered(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened);
    QSignalSpy completed(&test::App()->Windows().LoginWindow()->ControlLayer(),
                         &CControlLayerDlg::pageCompleted);
    View()->Navigate(m_peer.Url("/verify?session&u=1"));
    ASSERT_TRUE(WaitFor([&] { return entered.count() == 1; }));
    int withSession = 0;
    for (const HttpRequest& r : m_peer.Requests()) {
        if (r.target == "/verify?session&u=1") {
            withSession += r.headers.count("cookie") != 0 && r.headers.at("cookie") == "sid=s3cret";
        }
    }
    EXPECT_EQ(withSession, 2);  // the browser's request and the launcher's own

    // Without the session the operator says closed: back to the login page.
    LauncherProfile()->cookieStore()->deleteAllCookies();
    ASSERT_TRUE(WaitFor([] { return BrowserCookies().empty(); }));
    // The view leaves for a blank page once the game is open; a navigation that overtakes
    // that one would not complete as a document of its own. The address says about:blank
    // as soon as it is asked for; its completion (after the verification's) says it is there.
    ASSERT_TRUE(WaitFor(
        [&] { return View()->GetLocationURL() == "about:blank" && completed.count() >= 2; }));
    Flow().MovieAskedRefresh();  // through the area page, which verifies again
    ASSERT_TRUE(WaitFor([&] { return !m_opened.empty(); }));
    EXPECT_EQ(entered.count(), 1);
    EXPECT_FALSE(Flow().GameLoaded());
}

TEST_F(LoginWindow, TheVerifiedAddressReachesThePeerAsTheBrowserAskedForIt) {
    Open();
    QSignalSpy entered(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened);
    // Operators sign the raw query or carry JSON in it: no byte of it may change.
    const std::string targets[] = {
        "/verify?open&q=a%20b&c=%E4%B8%AD&d=x+y",
        "/verify?open&a={b}|c^d",
        "/verify?open&t=%7E&s=%7e",
        "/verify?open&z=%zz&j={%22k%22:[1,2]}",
    };
    QSignalSpy completed(&test::App()->Windows().LoginWindow()->ControlLayer(),
                         &CControlLayerDlg::pageCompleted);
    for (const std::string& target : targets) {
        const int before = entered.count();
        const int completedBefore = completed.count();
        // The page's own navigation: the browser reads the address, not the launcher.
        View()->page()->runJavaScript(
            QStringLiteral("location.href='%1'").arg(QString::fromStdString(m_peer.Url(target))));
        ASSERT_TRUE(WaitFor([&] { return entered.count() == before + 1; })) << target;
        EXPECT_EQ(RequestsFor(target), 2) << target;  // from the browser and the launcher
        // The next address only once the blank page the game left has completed, and with
        // the game as a refresh leaves it.
        ASSERT_TRUE(WaitFor([&] {
            return View()->GetLocationURL() == "about:blank" &&
                   completed.count() >= completedBefore + 2;
        }));
        // The refresh's area page, loaded, is where the next address starts from.
        Flow().MovieAskedRefresh();
        ASSERT_TRUE(WaitFor([&] {
            return View()->title().startsWith(QLatin1String("area")) &&
                   completed.count() >= completedBefore + 3;
        }));
    }
}

TEST_F(LoginWindow, AVerificationThatFailsNeverEntersTheGameAndCanBeTriedAgain) {
    CTavrinDlg* dlg = Open();
    QSignalSpy entered(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened);
    QSignalSpy completed(&dlg->ControlLayer(), &CControlLayerDlg::pageCompleted);
    View()->Navigate(m_peer.Url("/verify?open&area=broken"));
    ASSERT_TRUE(WaitFor([&] { return entered.count() == 1; }));
    // A navigation must not overtake the one before it: each waits for its page to complete.
    ASSERT_TRUE(WaitFor(
        [&] { return View()->GetLocationURL() == "about:blank" && completed.count() >= 2; }));

    // A refresh whose verification answers no configuration: the last game's movie and
    // variables are no way in. The player is told and stays on the login page.
    m_answer = MessageAnswer::kCancel;
    Flow().MovieAskedRefresh();
    ASSERT_TRUE(WaitFor([&] {
        return View()->GetLocationURL() == m_peer.Url("/login") && View()->title() == "login";
    }));
    EXPECT_EQ(entered.count(), 1);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("暂时无法进入游戏")))
        << m_messages[0].toStdString();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(m_opened.empty());

    // A verification that works at the second try, after the player's Retry.
    m_answer = MessageAnswer::kRetry;
    View()->Navigate(m_peer.Url("/verify?flaky"));
    ASSERT_TRUE(WaitFor([&] { return entered.count() == 2; }));
    EXPECT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(RequestsFor("/verify?flaky"), 3);  // the browser's, the failed and the good one
}

TEST_F(LoginWindow, NewWindowsOpenOnlyFromTheUsersClickAndOnlyForWebAddresses) {
    HttpPeer advertiser([](const HttpRequest&) {
        return MakeReply(200,
                         test::HtmlPage("<script>setInterval(() => { window.open('/ad');"
                                        "document.querySelector('a').click(); }, 20);</script>"
                                        "<a target='_blank' href='/ad-link'>ad</a>"),
                         "text/html");
    });
    Open();
    QSignalSpy loaded(View()->page(), &QWebEnginePage::loadFinished);
    // Each element a block of its own row, where a click finds it.
    const char* kRow = "style='display:block;position:absolute;left:0;width:300px;height:40px;";
    View()->setHtml(
        QString::fromStdString(test::HtmlPage(
            std::string("<a id='l' target='_blank' href='/linked' ") + kRow + "top:0'>news</a>" +
            "<button " + kRow + "top:50px' onclick=\"window.open('/opened')\">a</button>" +
            "<button " + kRow +
            "top:100px' onclick=\"const w = window.open('');"
            "setTimeout(() => { w.location.href = '/later'; }, 300)\">b</button>" +
            "<button " + kRow +
            "top:150px' onclick=\"window.open('file:///etc/passwd')\">c"
            "</button><iframe src='" +
            advertiser.Url("/frame") + "' " + kRow +
            "top:200px'></iframe><script>document.getElementById('l').click();"
            "window.open('/unasked');</script>")),
        QUrl(QString::fromStdString(m_peer.Url("/popups"))));
    ASSERT_TRUE(WaitFor([&] { return loaded.count() > 0; }));
    test::Pump(std::chrono::milliseconds(500));  // the script's own attempts come to nothing
    QWidget* input = View()->focusProxy();
    for (int y : {20, 70, 120, 170}) {
        QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(150, y));
        test::Pump(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(WaitFor([&] { return m_opened.size() >= 3; }));
    test::Pump(std::chrono::milliseconds(1000));  // the frame's loop keeps trying meanwhile
    std::sort(m_opened.begin(), m_opened.end());
    EXPECT_EQ(m_opened, (std::vector<std::string>{m_peer.Url("/later"), m_peer.Url("/linked"),
                                                  m_peer.Url("/opened")}));
    EXPECT_EQ(View()->GetLocationURL(), m_peer.Url("/popups"));  // the login page stays
    EXPECT_EQ(advertiser.Requests().size(), 1u);  // the frame itself, none of its windows
}

TEST_F(LoginWindow, NewWindowsStayBoundedHoweverOftenThePlayerClicks) {
    Open();
    QSignalSpy loaded(View()->page(), &QWebEnginePage::loadFinished);
    const char* kRow = "style='display:block;position:absolute;left:0;width:300px;height:40px;";
    View()->setHtml(QString::fromStdString(test::HtmlPage(
                        std::string("<button ") + kRow +
                        "top:0' onclick=\"window.open('')\">empty</button><button " + kRow +
                        "top:50px' onclick=\"window.open('/n' + Date.now())\">page</button>")),
                    QUrl(QString::fromStdString(m_peer.Url("/bounded"))));
    ASSERT_TRUE(WaitFor([&] { return loaded.count() > 0; }));
    QWidget* input = View()->focusProxy();
    const auto clickTimes = [&](int y, int times) {
        for (int i = 0; i < times; ++i) {
            QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(150, y));
            test::Pump(std::chrono::milliseconds(150));
        }
    };
    // Pages for the player's browser: only a few a minute.
    clickTimes(70, 9);
    test::Pump(std::chrono::milliseconds(500));
    EXPECT_EQ(m_opened.size(), 6u);
    // Empty pop-ups wait for an address: only a few at a time.
    clickTimes(20, 7);
    EXPECT_EQ(View()->page()->findChildren<PopupCatcher*>().size(), 4);
}

TEST_F(LoginWindow, AGameClosedAfterARefreshBringsBackTheLoginPageAndItsTaskBarButton) {
    CTavrinDlg* dlg = Open();
    QSignalSpy entered(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened);
    View()->Navigate(m_peer.Url("/verify?open&area=closed"));
    ASSERT_TRUE(WaitFor([&] { return entered.count() == 1; }));
    // The refresh comes once the login browser has left the verification for its blank page,
    // as a player's does: not while that page is still loading.
    ASSERT_TRUE(WaitFor(
        [&] { return View()->GetLocationURL() == "about:blank" && !View()->page()->isLoading(); }));
    EXPECT_TRUE(dlg->windowFlags().testFlag(Qt::Tool));
    // The refresh: the area page leads to a verification that says closed.
    Flow().MovieAskedRefresh();
    ASSERT_TRUE(WaitFor([&] { return View()->GetLocationURL() == m_peer.Url("/login"); }));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(dlg->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(m_opened, std::vector<std::string>{m_peer.Url("/error")});
}

TEST_F(LoginWindow, DownloadsAndHttpLogInsAreRefusedWithAReason) {
    Open();
    View()->Navigate(m_peer.Url("/file.zip"));
    ASSERT_TRUE(WaitFor([&] { return m_messages.size() == 1; }));
    EXPECT_TRUE(m_messages[0].contains(QString::fromStdString(m_peer.Url("/file.zip"))));
    View()->Navigate(m_peer.Url("/secret"));
    ASSERT_TRUE(WaitFor([&] { return m_messages.size() == 2; }));
    EXPECT_TRUE(m_messages[1].contains(QStringLiteral("身份验证")));
    EXPECT_TRUE(m_opened.empty());
}

}  // namespace
}  // namespace tavrin::ui
