#include "ui/flash_player.h"

#include <cstdio>
#include <memory>

#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEngineFullScreenRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>

#include "app/diagnostics.h"
#include "game/player_font.h"
#include "game/player_page.h"
#include "ui/browser_profile.h"
#include "ui/page_channel.h"
#include "ui/page_support.h"
#include "ui/popup_catcher.h"
#include "ui/random_secret.h"
#include "ui/ruffle_scheme.h"
#include "ui/shell_open.h"
#include "ui/socket_bridge.h"

namespace tavrin::ui {

namespace {

// Qt's script for the page's side of its web channel (QWebChannel), which the player page
// runs before its own.
const QString& WebChannelScript() {
    static const QString script = [] {
        QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }();
    return script;
}

// Ruffle plays movies as Flash Player 32.
constexpr std::int32_t kRuffleFlashVersion = 32 << 16;
constexpr int kCallFunctionTimeoutMs = 2000;

// The players by the token of their page's bridge address.
QHash<QString, CShockwaveflash1*>& Players() {
    static QHash<QString, CShockwaveflash1*> players;
    return players;
}

}  // namespace

// The player page: keeps its console to itself, and keeps the movie in it: links go to
// the player's browser, new windows too.
class FlashPage : public QWebEnginePage {
public:
    // The launcher's profile: what the movie saves stays with the player between runs.
    explicit FlashPage(CShockwaveflash1* player)
        : QWebEnginePage(LauncherProfile(), player), m_pPlayer(player) {
        connect(this, &QWebEnginePage::loadFinished, this, [this] { m_bPageLoaded = true; });
        LogPageCrashes(this, "game player");
        connect(this, &QWebEnginePage::fullScreenRequested, this,
                [this](QWebEngineFullScreenRequest request) {
                    if (m_bFullScreenAllowed || !request.toggleOn()) {
                        request.accept();
                        emit m_pPlayer->FullScreenRequested(request.toggleOn());
                    } else {
                        request.reject();
                    }
                });
    }

    bool m_bFullScreenAllowed = false;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (!isMainFrame || !m_bPageLoaded) {
            return true;
        }
        // A form the movie sent to its own window: the game page stays, the address goes
        // to the player's browser (without the form's body, which a browser cannot be
        // handed).
        OpenInDefaultBrowser(url.toEncoded().toStdString());
        return false;
    }
    QWebEnginePage* createWindow(WebWindowType) override {
        return PopupCatcher::Create(profile(), this);
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& source) override {
        // The player's errors are what an operator needs when a movie fails for a player;
        // the rest is chatter, for the debug level.
        if (level == ErrorMessageLevel) {
            Diagnose("player: error: %s (%s:%d)", qPrintable(message), qPrintable(source), line);
        } else {
            DiagnoseDetail("player: %s (%s:%d)", qPrintable(message), qPrintable(source), line);
        }
        if (m_pPlayer->m_bPlayerWarnings) {
            emit m_pPlayer->PlayerMessage(level == ErrorMessageLevel, message);
        }
    }

private:
    CShockwaveflash1* m_pPlayer;
    bool m_bPageLoaded = false;
};

CShockwaveflash1::CShockwaveflash1(QWidget* parent)
    : QWebEngineView(parent),
      m_pPage(new FlashPage(this)),
      m_strNonce(RandomSecret()),
      m_strBridgeToken(RandomSecret()) {
    m_pChannel = new CPageChannel(m_pPage, [this](const QString& json, auto answer) {
        OnChannelCall(json, std::move(answer));
    });
    Players().insert(m_strBridgeToken, this);
    SetPlayerPages({&CShockwaveflash1::AnswerPageRequest, &CShockwaveflash1::IsPlayerPageRequest});
    // A game's sound plays without waiting for a click.
    m_pPage->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    m_pPage->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    setPage(m_pPage);
    // The movie's own menu, not the browser's.
    setContextMenuPolicy(Qt::NoContextMenu);
}

void PutGamePlayerOptions(CShockwaveflash1& player) {
    player.put_Quality2(QStringLiteral("high"));
    player.put_AllowScriptAccess(QStringLiteral("sameDomain"));
    player.put_AllowFullScreen(QStringLiteral("true"));
    player.put_WMode(QStringLiteral("window"));
    player.put_Menu(false);
}

CShockwaveflash1::~CShockwaveflash1() {
    Players().remove(m_strBridgeToken);
    setPage(nullptr);
    delete m_pPage;
}

void CShockwaveflash1::put_Quality2(const QString& quality) {
    m_strQuality = quality;
    m_propertyLog << QStringLiteral("Quality2=") + quality;
}

void CShockwaveflash1::put_AllowScriptAccess(const QString& access) {
    m_strAllowScriptAccess = access;
    m_propertyLog << QStringLiteral("AllowScriptAccess=") + access;
}

void CShockwaveflash1::put_AllowFullScreen(const QString& allow) {
    m_strAllowFullScreen = allow;
    m_pPage->m_bFullScreenAllowed = allow.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
    m_propertyLog << QStringLiteral("AllowFullScreen=") + allow;
}

void CShockwaveflash1::put_WMode(const QString& mode) {
    m_strWMode = mode;
    m_propertyLog << QStringLiteral("WMode=") + mode;
}

void CShockwaveflash1::put_Menu(bool menu) {
    m_bMenu = menu;
    m_propertyLog << QStringLiteral("Menu=") +
                         (menu ? QStringLiteral("true") : QStringLiteral("false"));
}

void CShockwaveflash1::put_FlashVars(const QString& vars) {
    m_strFlashVars = vars;
    m_propertyLog << QStringLiteral("FlashVars=") + vars;
}

void CShockwaveflash1::SetSocketEndpoints(const std::vector<SocketEndpoint>& endpoints) {
    m_listedSockets = endpoints;
}

void CShockwaveflash1::put_Movie(const QString& url) {
    m_strMovie = url;
    m_propertyLog << QStringLiteral("Movie=") + url;
    // A relay for each movie: its game servers are the listed ones and those that let the
    // movie in by policy on the hosts it may name.
    delete m_pBridge;
    m_pBridge = new CSocketBridge(
        m_listedSockets, PolicyHostsFor(url.toStdString(), m_strFlashVars.toStdString()), this);
    connect(m_pBridge, &CSocketBridge::SocketSettled, this, &CShockwaveflash1::SocketAnswered);
    if (!m_pBridge->Listen(url)) {
        delete m_pBridge;
        m_pBridge = nullptr;
    }
    m_pChannel->SetMovie(QUrl(url));
    // The page takes the movie's address as its own: the movie, and what it loads from its
    // own server, count as same-origin and need no CORS headers from the operator.
    m_pPage->setHtml(BuildPlayerPage(), QUrl(url));
}

QString CShockwaveflash1::BuildPlayerPage() const {
    PlayerPageSetup setup;
    setup.movie = m_strMovie.toStdString();
    setup.options = {m_strQuality.toStdString(),
                     m_strAllowScriptAccess.toStdString(),
                     m_pPage->m_bFullScreenAllowed,
                     m_strWMode.toStdString(),
                     m_bMenu,
                     m_strFlashVars.toStdString(),
                     m_bPlayerWarnings};
    const std::string scheme = kRuffleScheme;
    setup.files = scheme + ":/";
    setup.scriptOrigin = scheme + ":";
    setup.bridge = scheme + ":/bridge/" + m_strBridgeToken.toStdString() + "?m=";
    setup.channel = "webchannel";
    if (m_pBridge != nullptr) {
        setup.proxies = m_pBridge->Proxies();
    }
    const PlayerFont& font = GetPlayerFont();
    if (!font.bytes.empty()) {
        setup.fontUrl = ChineseFontUrl(m_strBridgeToken).toStdString();
        setup.fontFamilies = font.families;
    }
    setup.nonce = m_strNonce.toStdString();
    setup.preludeScripts = {WebChannelScript().toStdString(),
                            ReadPageScript(QStringLiteral("ruffle_fetch.js")).toStdString()};
    setup.pageScript = ReadPageScript(QStringLiteral("flash_page.js")).toStdString();
    return QString::fromStdString(tavrin::BuildPlayerPage(setup));
}

bool CShockwaveflash1::IsPlayerPageRequest(const QWebEngineUrlRequestJob* job,
                                           const QString& token) {
    // Only the player's own page knows its token; a request from any other origin is not
    // its page's, whatever it knows.
    const CShockwaveflash1* player = Players().value(token);
    return player != nullptr && SameOrigin(job->initiator(), QUrl(player->m_strMovie));
}

bool CShockwaveflash1::AnswerPageRequest(QWebEngineUrlRequestJob* job) {
    const QUrl address = job->requestUrl();
    const QString prefix = QStringLiteral("/bridge/");
    if (!address.path().startsWith(prefix)) {
        return false;
    }
    const QString token = address.path().mid(prefix.size());
    if (!IsPlayerPageRequest(job, token)) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return true;
    }
    CShockwaveflash1* player = Players().value(token);
    const QString message =
        QUrlQuery(address).queryItemValue(QStringLiteral("m"), QUrl::FullyDecoded);
    QPointer<QWebEngineUrlRequestJob> pending(job);
    player->OnPageMessage(message, [pending](const QString& answer) {
        if (pending.isNull()) {
            return;  // the page went away meanwhile
        }
        auto* body = new QBuffer(pending);
        body->setData(answer.toUtf8());
        body->open(QIODevice::ReadOnly);
        pending->reply("text/plain;charset=utf-8", body);
    });
    return true;
}

void CShockwaveflash1::OnPageMessage(const QString& json,
                                     const std::function<void(QString)>& answer) {
    const PageMessage message = ParsePageMessage(json.toStdString());
    if (message.kind == "flashcall") {
        m_strReturnValue.clear();
        emit FlashCall(QString::fromStdString(message.request));
        answer(m_strReturnValue);
        return;
    }
    if (message.kind == "socket") {
        OnSocketRequest(QString::fromStdString(message.url), answer);
        return;
    }
    if (message.kind == "fscommand") {
        emit FSCommand(QString::fromStdString(message.command),
                       QString::fromStdString(message.args));
    } else if (message.kind == "navigate") {
        OpenInDefaultBrowser(message.url);
    } else if (message.kind == "started") {
        const PageMessage::Movie& movie = message.movie;
        Diagnose("player: the movie started (SWF %d, %s, %gx%g, %g frames a second)",
                 movie.swfVersion, movie.actionScript3 ? "ActionScript 3" : "ActionScript 1/2",
                 movie.width, movie.height, movie.frameRate);
        emit MovieStarted(
            QJsonDocument::fromJson(QByteArray::fromStdString(message.movieJson)).object());
    } else if (message.kind == "failed") {
        Diagnose("player: %s %s", message.reason.c_str(), message.detail.c_str());
        emit PlayerFailed(QString::fromStdString(message.reason));
    }
    answer({});
}

void CShockwaveflash1::OnChannelCall(const QString& json, std::function<void(QString)> answer) {
    const PageMessage message = ParsePageMessage(json.toStdString());
    if (message.kind != "relay" || m_pBridge == nullptr) {
        answer(QStringLiteral("{\"ok\":false,\"closed\":1011}"));
        return;
    }
    m_pBridge->Channel(message, std::move(answer));
}

void CShockwaveflash1::OnSocketRequest(const QString& proxyUrl,
                                       const std::function<void(QString)>& answer) {
    const auto reply = [answer](const QString& url, const QString& error) {
        if (url.isEmpty()) {
            Diagnose("socket bridge: no connection for the movie: %s", qPrintable(error));
        }
        answer(QString::fromStdString(SocketAnswer(url.toStdString(), error.toStdString())));
    };
    if (m_pBridge == nullptr) {
        reply({}, QStringLiteral("the game has no game servers"));
        return;
    }
    m_pBridge->Connect(proxyUrl, reply);
}

void CShockwaveflash1::EndNestedWait() {
    if (--m_nNestedWaits == 0) {
        emit nestedWaitEnded();
    }
}

void CShockwaveflash1::SetReturnValue(const QString& reply) {
    m_strReturnValue = reply;
}

namespace {

QString CallScript(const QString& request) {
    return QString::fromStdString(CallFunctionScript(request.toStdString()));
}

}  // namespace

QString CShockwaveflash1::CallFunction(const QString& request) {
    // The page answers asynchronously; the caller expects the answer now. The answer may
    // also come after the wait has given up, so it lands in state that outlives the wait.
    struct Pending {
        QString answer;
        bool answered = false;
        QPointer<QEventLoop> loop;
    };
    auto pending = std::make_shared<Pending>();
    QEventLoop loop;
    pending->loop = &loop;
    m_pPage->runJavaScript(CallScript(request), [pending](const QVariant& result) {
        pending->answered = true;
        pending->answer = result.isNull() ? QString() : result.toString();
        if (pending->loop) {
            pending->loop->quit();
        }
    });
    QTimer::singleShot(kCallFunctionTimeoutMs, &loop, &QEventLoop::quit);
    if (!pending->answered) {
        QPointer<CShockwaveflash1> self(this);
        ++m_nNestedWaits;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (!self.isNull()) {
            EndNestedWait();
        }
    }
    return pending->answered ? pending->answer : QString();
}

void CShockwaveflash1::CallFunctionWithoutWaiting(const QString& request) {
    m_pPage->runJavaScript(CallScript(request));
}

void CShockwaveflash1::ExitFullScreen() {
    m_pPage->triggerAction(QWebEnginePage::ExitFullScreen);
}

std::int32_t CShockwaveflash1::FlashVersion() const {
    return RuffleInstalled() ? kRuffleFlashVersion : 0;
}

}  // namespace tavrin::ui
