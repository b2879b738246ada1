#include "ui/flash_player.h"

#include <cstdio>
#include <memory>

#include <QBuffer>
#include <QEventLoop>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEngineFullScreenRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>

#include "app/diagnostics.h"
#include "ui/browser_profile.h"
#include "ui/page_support.h"
#include "ui/popup_catcher.h"
#include "ui/random_secret.h"
#include "ui/ruffle_scheme.h"
#include "ui/shell_open.h"
#include "ui/socket_bridge.h"

namespace tavrin::ui {

namespace {

// Ruffle plays movies as Flash Player 32.
constexpr std::int32_t kRuffleFlashVersion = 32 << 16;
constexpr int kCallFunctionTimeoutMs = 2000;

// The players by the token of their page's bridge address.
QHash<QString, CShockwaveflash1*>& Players() {
    static QHash<QString, CShockwaveflash1*> players;
    return players;
}

// Our own scripts inside a <script> element: only "</script" would end it early, and they
// hold no "<!--" (which would make the parser look past it).
QString ForScriptElement(QString text) {
    return text.replace(QStringLiteral("</script"), QStringLiteral("<\\/script"),
                        Qt::CaseInsensitive);
}

// JSON that carries the operator's text, inside a <script> element: every "<" as an escape,
// so that no "</script" ends the element and no "<!--<script" swallows the page's own
// scripts after it. In JSON a "<" can only stand inside a string, where the escape means it.
QString JsonForScriptElement(QString json) {
    return json.replace(QLatin1Char('<'), QStringLiteral("\\u003c"));
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
    // The page takes the movie's address as its own: the movie, and what it loads from its
    // own server, count as same-origin and need no CORS headers from the operator.
    m_pPage->setHtml(BuildPlayerPage(), QUrl(url));
}

QString CShockwaveflash1::BuildPlayerPage() const {
    QJsonObject options;
    options[QStringLiteral("quality")] = m_strQuality;
    // The page has the movie's origin, so "sameDomain" holds for it by construction; what
    // the movie calls goes to the launcher alone.
    options[QStringLiteral("allowScriptAccess")] =
        m_strAllowScriptAccess.compare(QStringLiteral("never"), Qt::CaseInsensitive) != 0;
    options[QStringLiteral("allowFullscreen")] = m_pPage->m_bFullScreenAllowed;
    options[QStringLiteral("wmode")] = m_strWMode;
    options[QStringLiteral("menu")] = m_bMenu;
    options[QStringLiteral("parameters")] = m_strFlashVars;
    if (m_bPlayerWarnings) {
        options[QStringLiteral("logLevel")] = QStringLiteral("warn");
    }
    // Listed servers by their port; a policy host's every port, spelt out by the page.
    QJsonArray sockets;
    QJsonArray policyHosts;
    for (const GameRelay::Proxy& proxy :
         m_pBridge != nullptr ? m_pBridge->Proxies() : std::vector<GameRelay::Proxy>()) {
        QJsonObject entry{{QStringLiteral("host"), QString::fromStdString(proxy.host)},
                          {QStringLiteral("proxyUrl"), QString::fromStdString(proxy.url)}};
        if (proxy.port != 0) {
            entry[QStringLiteral("port")] = proxy.port;
            sockets.append(entry);
        } else {
            policyHosts.append(entry);
        }
    }
    QJsonObject setup;
    setup[QStringLiteral("scheme")] = QString::fromLatin1(kRuffleScheme);
    setup[QStringLiteral("movie")] = m_strMovie;
    setup[QStringLiteral("options")] = options;
    setup[QStringLiteral("sockets")] = sockets;
    setup[QStringLiteral("policyHosts")] = policyHosts;
    setup[QStringLiteral("bridge")] =
        QStringLiteral("%1:/bridge/%2?m=")
            .arg(QString::fromLatin1(kRuffleScheme), m_strBridgeToken);
    const platform::FontFile& font = ChineseFont();
    if (!font.path.empty()) {
        QJsonArray families;
        for (const std::string& family : font.families) {
            families.append(QString::fromStdString(family));
        }
        setup[QStringLiteral("font")] =
            QJsonObject{{QStringLiteral("url"), ChineseFontUrl(m_strBridgeToken)},
                        {QStringLiteral("families"), families}};
    }
    setup[QStringLiteral("texts")] =
        QJsonObject{{QStringLiteral("loading"), tr("正在载入游戏……")},
                    {QStringLiteral("failed"), tr("游戏载入失败")},
                    {QStringLiteral("broken"), tr("游戏文件无法下载或无法播放。")},
                    {QStringLiteral("noPlayer"), tr("Flash 播放器无法启动。")},
                    {QStringLiteral("wayOut"), tr("请点击右上角的刷新按钮或按 F5 重新进入游戏。")}};
    const QString setupJson =
        QString::fromUtf8(QJsonDocument(setup).toJson(QJsonDocument::Compact));
    // Only the launcher's scripts run here: no inline script without this page's nonce, no
    // code made from text, no javascript: addresses.
    const QString policy = QStringLiteral(
                               "script-src 'nonce-%1' %2: 'wasm-unsafe-eval'; worker-src blob:; "
                               "object-src 'none'; base-uri 'none'")
                               .arg(m_strNonce, QString::fromLatin1(kRuffleScheme));
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
               "<meta http-equiv=\"Content-Security-Policy\" content=\"%1\"><style>"
               "html,body{margin:0;width:100%;height:100%;overflow:hidden;background:#000}"
               "#player{display:block;width:100%;height:100%}"
               "#status{position:absolute;left:0;top:0;right:0;bottom:0;display:flex;"
               "flex-direction:column;align-items:center;justify-content:center;color:#e8dccb;"
               "font:16px 'Noto Sans CJK SC','Microsoft YaHei',sans-serif;pointer-events:none}"
               "#status[hidden]{display:none}#status h1{font-size:22px;color:#ffb45a}"
               "#status small{color:#8a7a6a}</style></head><body>"
               "<div id=\"status\">%2</div>"
               "<script nonce=\"%3\">window.__tavrinFlashSetup=%4;</script>"
               "<script nonce=\"%3\">%5</script>"
               "<script src=\"%6:/ruffle.js\"></script><script nonce=\"%3\">%7</script>"
               "</body></html>")
        .arg(policy, tr("正在载入游戏……"), m_strNonce, JsonForScriptElement(setupJson),
             ForScriptElement(ReadPageScript(QStringLiteral("ruffle_fetch.js"))),
             QString::fromLatin1(kRuffleScheme),
             ForScriptElement(ReadPageScript(QStringLiteral("flash_page.js"))));
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
    const QJsonObject message = QJsonDocument::fromJson(json.toUtf8()).object();
    const QString kind = message.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("flashcall")) {
        m_strReturnValue.clear();
        emit FlashCall(message.value(QStringLiteral("request")).toString());
        answer(m_strReturnValue);
        return;
    }
    if (kind == QLatin1String("socket")) {
        OnSocketRequest(message.value(QStringLiteral("url")).toString(), answer);
        return;
    }
    if (kind == QLatin1String("fscommand")) {
        emit FSCommand(message.value(QStringLiteral("command")).toString(),
                       message.value(QStringLiteral("args")).toString());
    } else if (kind == QLatin1String("navigate")) {
        OpenInDefaultBrowser(message.value(QStringLiteral("url")).toString().toStdString());
    } else if (kind == QLatin1String("started")) {
        const QJsonObject movie = message.value(QStringLiteral("movie")).toObject();
        Diagnose("player: the movie started (SWF %d, %s, %gx%g, %g frames a second)",
                 movie.value(QStringLiteral("swfVersion")).toInt(),
                 movie.value(QStringLiteral("isActionScript3")).toBool() ? "ActionScript 3"
                                                                         : "ActionScript 1/2",
                 movie.value(QStringLiteral("width")).toDouble(),
                 movie.value(QStringLiteral("height")).toDouble(),
                 movie.value(QStringLiteral("frameRate")).toDouble());
        emit MovieStarted(movie);
    } else if (kind == QLatin1String("failed")) {
        const QString reason = message.value(QStringLiteral("reason")).toString();
        Diagnose("player: %s %s", qPrintable(reason),
                 qPrintable(message.value(QStringLiteral("detail")).toString()));
        emit PlayerFailed(reason);
    }
    answer({});
}

void CShockwaveflash1::OnSocketRequest(const QString& proxyUrl,
                                       const std::function<void(QString)>& answer) {
    const auto reply = [answer](const QString& url, const QString& error) {
        if (url.isEmpty()) {
            Diagnose("socket bridge: no connection for the movie: %s", qPrintable(error));
        }
        const QJsonObject result = url.isEmpty() ? QJsonObject{{QStringLiteral("error"), error}}
                                                 : QJsonObject{{QStringLiteral("url"), url}};
        answer(QString::fromUtf8(QJsonDocument(result).toJson(QJsonDocument::Compact)));
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
    return QStringLiteral(
               "(function(r){try{return window.__tavrinCallFunction(r);}catch(e){return "
               "null;}})(%1)")
        .arg(QString::fromUtf8(QJsonDocument(QJsonArray{request}).toJson(QJsonDocument::Compact))
                 .mid(1)
                 .chopped(1));
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
