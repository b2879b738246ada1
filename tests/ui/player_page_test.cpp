// What the player page lets in and out: its bridge and its font answer only the page that
// knows their token and has the movie's origin, only the launcher's scripts run in it, and
// the operator's flash variables stay text.
#include <gtest/gtest.h>

#include <memory>

#include <QSignalSpy>
#include <QUrl>
#include <QWebEnginePage>

#include "game/player_font.h"
#include "support/http_peer.h"
#include "ui/browser_profile.h"
#include "ui/flash_player.h"
#include "ui/page_support.h"
#include "ui/ruffle_scheme.h"
#include "ui_support.h"

namespace tavrin::ui {
namespace {

using test::HttpPeer;
using test::HttpRequest;
using test::MakeReply;
using test::WaitFor;

TEST(PageSupport, OnlyAddressesWithASchemeAndAHostShareAnOrigin) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"http://op.example/game/a.swf", "http://op.example:80/b.html", true},
        {"https://op.example/a", "https://op.example:443/b", true},
        {"http://op.example/a", "https://op.example/a", false},
        {"http://op.example:8080/a", "http://op.example/a", false},
        {"http://op.example/a", "http://ad.example/a", false},
        {"null", "null", false},
        {"game/a.swf", "game/b.swf", false},
        {"", "", false},
        {"file:///games/a.swf", "file:///games/b.swf", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameOrigin(QUrl(c.a), QUrl(c.b)), c.same) << c.a << " / " << c.b;
    }
}

// A synchronous request from the page: "refused" or "STATUS:LENGTH".
QString Fetch(QWebEnginePage* page, const QString& url) {
    return test::PageResult(page, QStringLiteral("(function(){try{const x=new XMLHttpRequest();"
                                                 "x.open('GET','%1',false);x.send();"
                                                 "return x.status+':'+x.responseText.length}"
                                                 "catch(e){return 'refused'}})()")
                                      .arg(url));
}

class PlayerPage : public ::testing::Test {
protected:
    // The movie's server answers with something that is no movie: the page is what counts.
    PlayerPage()
        : m_operator([](const HttpRequest&) {
              return MakeReply(200, "no movie", "application/x-shockwave-flash");
          }) {}

    // A player of its own for each movie, as each game window has.
    void Open(const QString& flashVars = QStringLiteral("server=1")) {
        m_player = std::make_unique<CShockwaveflash1>();
        QSignalSpy loaded(m_player->page(), &QWebEnginePage::loadFinished);
        m_player->put_FlashVars(flashVars);
        m_player->put_Movie(QString::fromStdString(m_operator.Url("/game/demo.swf")));
        ASSERT_TRUE(WaitFor([&] { return loaded.count() > 0; }));
    }
    QWebEnginePage* Page() const { return m_player->page(); }
    QString Setup(const QString& path) {
        return test::PageResult(
            Page(), QStringLiteral("String(window.__tavrinFlashSetup.") + path + QLatin1Char(')'));
    }

    HttpPeer m_operator;
    std::unique_ptr<CShockwaveflash1> m_player;
};

TEST_F(PlayerPage, TheBridgeAndTheFontAnswerOnlyThePlayersOwnPage) {
    Open();
    const QString bridge = Setup(QStringLiteral("bridge"));
    ASSERT_TRUE(bridge.contains(QStringLiteral("/bridge/"))) << bridge.toStdString();
    const QString token = bridge.section(QLatin1Char('/'), -1).section(QLatin1Char('?'), 0, 0);
    const QString fscommand =
        bridge + QStringLiteral("%7B%22kind%22%3A%22fscommand%22%2C%22command%22%3A%22x%22%7D");
    const QString wrongToken = QString(fscommand).replace(token, QStringLiteral("0") + token);
    const QString font = ChineseFontUrl(token);

    // A page of another site that has learnt the token: the advertisement's case.
    QWebEnginePage other(LauncherProfile());
    QSignalSpy otherLoaded(&other, &QWebEnginePage::loadFinished);
    other.setHtml(QStringLiteral("<p>ad</p>"), QUrl(QStringLiteral("http://ad.example/")));
    ASSERT_TRUE(WaitFor([&] { return otherLoaded.count() > 0; }));

    QSignalSpy commands(m_player.get(), &CShockwaveflash1::FSCommand);
    EXPECT_TRUE(Fetch(Page(), fscommand).startsWith(QStringLiteral("200:")));
    EXPECT_EQ(commands.count(), 1);
    EXPECT_EQ(Fetch(Page(), wrongToken), QStringLiteral("refused"));
    EXPECT_EQ(Fetch(&other, fscommand), QStringLiteral("refused"));
    EXPECT_EQ(commands.count(), 1);
    EXPECT_EQ(Fetch(&other, font), QStringLiteral("refused"));
    EXPECT_EQ(Fetch(Page(), ChineseFontUrl(QStringLiteral("0") + token)),
              QStringLiteral("refused"));
    if (!GetPlayerFont().bytes.empty()) {
        const QString own = Fetch(Page(), font);
        EXPECT_TRUE(own.startsWith(QStringLiteral("200:"))) << own.toStdString();
        EXPECT_GT(own.section(QLatin1Char(':'), 1).toInt(), 100000) << own.toStdString();
    }
}

TEST_F(PlayerPage, OnlyTheLaunchersScriptsRun) {
    Open();
    EXPECT_EQ(test::PageResult(Page(), QStringLiteral("typeof window.__tavrinCallFunction")),
              QStringLiteral("function"));
    // A script the movie's text manages to put into the page runs only with the nonce.
    EXPECT_EQ(test::PageResult(
                  Page(), QStringLiteral("(function(){const s=document.createElement('script');"
                                         "s.textContent='window.__injected=1';"
                                         "document.body.appendChild(s);"
                                         "return String(window.__injected)})()")),
              QStringLiteral("undefined"));
}

TEST_F(PlayerPage, FlashVariablesStayTextWhateverMarkupTheyHold) {
    const QString hostile[] = {
        QStringLiteral("a=<!--<script>&b=1"),
        QStringLiteral("a=</script><script>window.__injected=1</script>"),
        QStringLiteral("a=<!--&b=-->&c=<script"),
    };
    for (const QString& vars : hostile) {
        Open(vars);
        // The page's own scripts after the variables still ran, and the movie gets them as
        // they were given.
        EXPECT_EQ(test::PageResult(Page(), QStringLiteral("typeof window.__tavrinCallFunction")),
                  QStringLiteral("function"))
            << vars.toStdString();
        EXPECT_EQ(Setup(QStringLiteral("options.parameters")), vars);
        EXPECT_EQ(test::PageResult(Page(), QStringLiteral("String(window.__injected)")),
                  QStringLiteral("undefined"));
    }
}

}  // namespace
}  // namespace tavrin::ui
