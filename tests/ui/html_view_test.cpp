// The browser view on its own, with an owner that records what the view tells it.
#include "ui/html_view.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>

#include "app/diagnostics.h"
#include "support/http_peer.h"
#include "support/temp_dir.h"
#include "ui_support.h"

namespace tavrin::ui {
namespace {

using test::HttpPeer;
using test::HttpRequest;
using test::MakeReply;
using test::WaitFor;

struct RecordingOwner : CMLHtmlViewOwner {
    long OnViewBeforeNavigate() override { return ++beforeNavigate, 0; }
    long OnViewNavigateComplete() override { return ++navigateComplete, 0; }
    void OnViewDocumentComplete() override { ++documentComplete; }
    long OnViewPageError() override { return ++pageErrors, 0; }
    long OnViewNavigationError() override { return ++navigationErrors, 0; }
    long OnViewShowMessage(const QString& text) override {
        messages.push_back(text);
        return 0;
    }
    long OnViewEnterRoom(int room) override {
        rooms.push_back(room);
        return 0;
    }
    long OnViewInlineUrl(const std::string& url) override {
        urls.push_back(url);
        return 0;
    }
    long OnViewSysSetting() override { return sysSettingAnswer; }
    long OnViewLinkDown(const QString& href) override {
        linkDowns.push_back(href);
        return 0;
    }

    int beforeNavigate = 0, navigateComplete = 0, documentComplete = 0;
    int pageErrors = 0, navigationErrors = 0;
    long sysSettingAnswer = 1;
    std::vector<QString> messages;
    std::vector<int> rooms;
    std::vector<std::string> urls;
    std::vector<QString> linkDowns;
};

// Records the page's mouse events in its title: presses per button and moves with the
// left button held.
const char* const kInputProbe =
    "<script>let c={d0:0,d2:0,m1:0,loads:Number(sessionStorage.loads||0)+1};"
    "sessionStorage.loads=c.loads;const show=()=>document.title=JSON.stringify(c);"
    "addEventListener('mousedown',e=>{c['d'+e.button]++;show()});"
    "addEventListener('mousemove',e=>{if(e.buttons&1){c.m1++;show()}});show();</script>";

class HtmlView : public ::testing::Test {
protected:
    HtmlView()
        : m_peer([](const HttpRequest& request) {
              if (request.target == "/missing") {
                  return MakeReply(404, test::HtmlPage("gone"), "text/html");
              }
              if (request.target == "/own") {  // a frame of the page's own origin
                  return MakeReply(
                      200, test::HtmlPage("<script>window.external.invoke_enterroom(4)</script>"),
                      "text/html");
              }
              if (request.target == "/frames") {
                  return MakeReply(200, test::HtmlPage("<iframe src=\"/inner\"></iframe>"),
                                   "text/html");
              }
              return MakeReply(200, test::HtmlPage("<p>hello</p>", "<title>plain</title>"),
                               "text/html");
          }) {
        m_view.resize(400, 300);
        m_view.show();
        m_view.CreateInDialog(&m_owner, nullptr);
    }

    // Loads HTML in the view, as if served from the peer.
    void Load(const std::string& html) {
        m_view.setHtml(QString::fromStdString(html), QUrl(QString::fromStdString(m_peer.Url("/"))));
    }

    QString Title() const { return m_view.title(); }

    HttpPeer m_peer;
    RecordingOwner m_owner;
    CMLHtmlView m_view;
};

TEST_F(HtmlView, PageMethodsReachTheOwnerAndReturnItsAnswer) {
    Load(
        test::HtmlPage("<script>const x=window.external;document.title=[x.invoke_enterroom(3),"
                       "x.INVOKE_SYSSETTING(),x.Invoke_InlineUrl('http://h/\u4e2d?a=1'),"
                       "typeof x.other,'invoke_enterroom' in x].join(',')</script>"));
    ASSERT_TRUE(WaitFor([&] { return Title().contains(','); })) << Title().toStdString();
    EXPECT_EQ(Title(), "true,false,true,undefined,true");
    EXPECT_EQ(m_owner.rooms, std::vector<int>{3});
    EXPECT_EQ(m_owner.urls, std::vector<std::string>{"http://h/\xE4\xB8\xAD?a=1"});
}

// What a frame finds of the bridge, and what it gets when it calls the launcher directly.
const char* const kBridgeProbe =
    "const mark='\\u0001tavrin-bridge';"
    "const direct=(m,a)=>{try{return String(prompt(mark,JSON.stringify({method:m,args:a})))}"
    "catch(e){return 'threw'}};";

TEST_F(HtmlView, TheBridgeAnswersOnlyThePagesOwnOriginAndWellDefinedArguments) {
    // An advertising frame of another origin tries the bridge both ways; a frame of the
    // page's own origin may use it.
    HttpPeer other([](const HttpRequest&) {
        return MakeReply(200,
                         test::HtmlPage(std::string("<script>") + kBridgeProbe +
                                        "parent.postMessage(JSON.stringify({type:typeof "
                                        "window.external.invoke_enterroom,direct:direct("
                                        "'invoke_enterroom',['9'])}),'*')</script>"),
                         "text/html");
    });
    Load(test::HtmlPage(std::string("<iframe src='") + other.Url("/ad") +
                        "'></iframe><iframe src='/own'></iframe>" + "<script>" + kBridgeProbe +
                        "const x=window.external,out={str:String(x)};"
                        "try{x.invoke_enterroom(1e10);out.huge='returned'}catch(e){out.huge=e.name}"
                        "out.half=x.invoke_enterroom(2.5);"
                        "out.fake=direct('designer',['linkdown','http://x/']);"
                        "addEventListener('message',e=>{out.frame=JSON.parse(e.data);"
                        "document.title=JSON.stringify(out)});</script>"));
    ASSERT_TRUE(WaitFor([&] { return Title().contains("frame") && m_owner.rooms.size() == 2; }))
        << Title().toStdString();
    const QJsonObject out = QJsonDocument::fromJson(Title().toUtf8()).object();
    EXPECT_EQ(out.value("str").toString(), "[object External]");
    EXPECT_EQ(out.value("huge").toString(), "TypeError");
    EXPECT_TRUE(out.value("half").toBool());
    const QJsonObject frame = out.value("frame").toObject();
    EXPECT_EQ(frame.value("type").toString(), "undefined");
    EXPECT_NE(frame.value("direct").toString(), "true");
    // 2.5 rounds to 2; the own frame's 4 arrives; the other origin's 9 never does, and no
    // link report arrives while the switches are off.
    std::vector<int> rooms = m_owner.rooms;
    std::sort(rooms.begin(), rooms.end());
    EXPECT_EQ(rooms, (std::vector<int>{2, 4}));
    EXPECT_TRUE(m_owner.linkDowns.empty());
}

TEST_F(HtmlView, ReportsNavigationAndOneDocumentCompletePerNavigation) {
    m_view.Navigate(m_peer.Url("/frames"));
    ASSERT_TRUE(WaitFor([&] { return m_owner.documentComplete == 1; }));
    test::Pump(std::chrono::milliseconds(500));
    EXPECT_EQ(m_owner.documentComplete, 1);
    EXPECT_GE(m_owner.beforeNavigate, 2);  // the page and its frame
    EXPECT_GE(m_owner.navigateComplete, 2);
    EXPECT_EQ(m_view.GetLocationURL(), m_peer.Url("/frames"));
}

TEST_F(HtmlView, HttpErrorsArePageErrorsAndRefusedConnectionsNavigationErrors) {
    m_view.Navigate(m_peer.Url("/missing"));
    ASSERT_TRUE(WaitFor([&] { return m_owner.pageErrors == 1; }));
    std::uint16_t deadPort = 0;
    {
        HttpPeer gone([](const HttpRequest&) { return MakeReply(200, ""); });
        deadPort = gone.Port();
    }
    m_view.Navigate("http://127.0.0.1:" + std::to_string(deadPort) + "/");
    ASSERT_TRUE(WaitFor([&] { return m_owner.navigationErrors == 1; }));
    EXPECT_EQ(m_owner.pageErrors, 1);
}

TEST_F(HtmlView, RightButtonDragSelectionAndF5NeverReachThePage) {
    Load(test::HtmlPage(kInputProbe));
    ASSERT_TRUE(WaitFor([&] { return Title().contains("loads"); }));
    QWidget* input = m_view.focusProxy();
    ASSERT_NE(input, nullptr);
    m_view.activateWindow();
    input->setFocus();
    // Through the window system's path, as real input arrives. The engine takes input only
    // once it has shown the page, so a left click goes first, again now and then, until
    // one arrives.
    const QPoint at(50, 50);
    auto count = [&](const char* key) {
        return QJsonDocument::fromJson(Title().toUtf8()).object().value(key).toInt();
    };
    int tries = 0;
    ASSERT_TRUE(WaitFor([&] {
        if (count("d0") == 0 && tries++ % 25 == 0) {
            QTest::mouseClick(input, Qt::LeftButton, {}, at);
        }
        return count("d0") > 0;
    })) << Title().toStdString();
    test::Pump(std::chrono::milliseconds(300));
    const int leftPresses = count("d0");

    QTest::mousePress(input, Qt::RightButton, {}, at);
    QTest::mouseRelease(input, Qt::RightButton, {}, at);
    QTest::mousePress(input, Qt::LeftButton, {}, at);
    QTest::mouseMove(input, at + QPoint(30, 10));
    QTest::mouseRelease(input, Qt::LeftButton, {}, at + QPoint(30, 10));
    QTest::keyClick(input, Qt::Key_F5);
    // That left press arrives after the others, so they had their chance.
    ASSERT_TRUE(WaitFor([&] { return count("d0") == leftPresses + 1; })) << Title().toStdString();
    test::Pump(std::chrono::milliseconds(300));
    EXPECT_EQ(count("d2"), 0) << Title().toStdString();
    EXPECT_EQ(count("m1"), 0) << Title().toStdString();
    EXPECT_EQ(count("loads"), 1) << Title().toStdString();
}

// A page whose process dies leaves a line for whoever helps the player, without the
// address's query.
TEST_F(HtmlView, APageProcessThatDiesIsLogged) {
    test::TempDir tmp;
    SetDiagnosticsFile(tmp / "crash.log");
    m_view.Navigate(m_peer.Url("/page?sid=secret"));
    ASSERT_TRUE(test::WaitFor([&] { return Title() == QStringLiteral("plain"); }));
    const qint64 renderer = m_view.page()->renderProcessPid();
    ASSERT_GT(renderer, 0);
    ::kill(static_cast<pid_t>(renderer), SIGKILL);
    const std::string expected =
        "login page's process was killed (exit code 9) at " + m_peer.Url("/page") + "?...";
    ASSERT_TRUE(test::WaitFor([&] {
        return test::ReadFile(tmp / "crash.log").find(expected) != std::string::npos;
    })) << test::ReadFile(tmp / "crash.log");
    SetDiagnosticsFile("");
}

TEST_F(HtmlView, MessageBoxesGoToTheOwnerOnlyWhenItAsks) {
    m_view.m_bMessagesToOwner = true;
    Load(test::HtmlPage("<script>alert('hello');document.title='done'</script>"));
    ASSERT_TRUE(WaitFor([&] { return Title() == "done"; }));
    EXPECT_EQ(m_owner.messages, std::vector<QString>{"hello"});
}

}  // namespace
}  // namespace tavrin::ui
