#include "ui/flash_player.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <cstdio>

#include "ui/browser_profile.h"
#include "ui/ruffle_scheme.h"

namespace tavrin::ui {

namespace {

const QString kPageMark = QStringLiteral("\u0001tavrin-flash");
// Ruffle plays movies as Flash Player 32.
constexpr std::int32_t kRuffleFlashVersion = 32 << 16;
constexpr int kCallFunctionTimeoutMs = 2000;

QString ReadResource(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

// Inside a <script> element only "</script" would end it early.
QString ForScriptElement(QString text) {
    return text.replace(QStringLiteral("</script"), QStringLiteral("<\\/script"),
                        Qt::CaseInsensitive);
}

}  // namespace

// The player page: answers its bridge calls and keeps its console to itself.
class FlashPage : public QWebEnginePage {
public:
    // The launcher's profile: what the movie saves stays with the player between runs.
    explicit FlashPage(CShockwaveflash1* player)
        : QWebEnginePage(LauncherProfile(), player), m_pPlayer(player) {}

protected:
    bool javaScriptPrompt(const QUrl& origin, const QString& msg, const QString& defaultValue,
                          QString* result) override {
        if (msg == kPageMark) {
            *result = m_pPlayer->OnPageMessage(defaultValue);
            return true;
        }
        return QWebEnginePage::javaScriptPrompt(origin, msg, defaultValue, result);
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int line,
                                  const QString& source) override {
        // Quiet, unless a developer asks to see what the player says.
        if (qEnvironmentVariableIsSet("TAVRIN_PLAYER_CONSOLE")) {
            std::fprintf(stderr, "player: %s (%s:%d)\n", qPrintable(message), qPrintable(source),
                         line);
        }
    }

private:
    CShockwaveflash1* m_pPlayer;
};

QStringList& CShockwaveflash1::DefaultCallNames() {
    static QStringList names{QStringLiteral("GetSysMem")};
    return names;
}

CShockwaveflash1::CShockwaveflash1(QWidget* parent)
    : QWebEngineView(parent), m_callNames(DefaultCallNames()), m_pPage(new FlashPage(this)) {
    // A game's sound plays without waiting for a click.
    m_pPage->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    setPage(m_pPage);
    // The movie's own menu, not the browser's.
    setContextMenuPolicy(Qt::NoContextMenu);
}

CShockwaveflash1::~CShockwaveflash1() {
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

void CShockwaveflash1::put_Movie(const QString& url) {
    m_strMovie = url;
    m_propertyLog << QStringLiteral("Movie=") + url;
    // The page takes the movie's address as its own: the movie, and what it loads from its
    // own server, count as same-origin and need no CORS headers from the operator.
    m_pPage->setHtml(BuildPlayerPage(), QUrl(url));
}

QString CShockwaveflash1::BuildPlayerPage() const {
    QJsonObject options;
    options[QStringLiteral("quality")] = m_strQuality;
    // The page has the movie's origin, so "sameDomain" holds for it by construction.
    options[QStringLiteral("allowScriptAccess")] =
        m_strAllowScriptAccess.compare(QStringLiteral("never"), Qt::CaseInsensitive) != 0;
    options[QStringLiteral("allowFullscreen")] =
        m_strAllowFullScreen.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
    options[QStringLiteral("wmode")] = m_strWMode;
    options[QStringLiteral("menu")] = m_bMenu;
    options[QStringLiteral("parameters")] = m_strFlashVars;
    QJsonObject setup;
    setup[QStringLiteral("scheme")] = QString::fromLatin1(kRuffleScheme);
    setup[QStringLiteral("movie")] = m_strMovie;
    setup[QStringLiteral("options")] = options;
    setup[QStringLiteral("callNames")] = QJsonArray::fromStringList(m_callNames);
    const QString setupJson =
        QString::fromUtf8(QJsonDocument(setup).toJson(QJsonDocument::Compact));
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
               "html,body{margin:0;width:100%;height:100%;overflow:hidden;background:#000}"
               "#player{display:block;width:100%;height:100%}</style></head><body>"
               "<script>window.__tavrinFlashSetup=%1;</script><script>%2</script>"
               "<script src=\"%3:/ruffle.js\"></script><script>%4</script></body></html>")
        .arg(ForScriptElement(setupJson),
             ForScriptElement(ReadResource(QStringLiteral(":/scripts/ruffle_fetch.js"))),
             QString::fromLatin1(kRuffleScheme),
             ForScriptElement(ReadResource(QStringLiteral(":/scripts/flash_page.js"))));
}

QString CShockwaveflash1::OnPageMessage(const QString& json) {
    const QJsonObject message = QJsonDocument::fromJson(json.toUtf8()).object();
    const QString kind = message.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("flashcall")) {
        m_strReturnValue.clear();
        emit FlashCall(message.value(QStringLiteral("request")).toString());
        return m_strReturnValue;
    }
    if (kind == QLatin1String("fscommand")) {
        emit FSCommand(message.value(QStringLiteral("command")).toString(),
                       message.value(QStringLiteral("args")).toString());
    }
    return {};
}

void CShockwaveflash1::SetReturnValue(const QString& reply) {
    m_strReturnValue = reply;
}

QString CShockwaveflash1::CallFunction(const QString& request) {
    // The page answers asynchronously; the caller expects the answer now.
    QEventLoop loop;
    QString answer;
    bool answered = false;
    const QString script =
        QStringLiteral(
            "(function(r){try{return window.__tavrinCallFunction(r);}catch(e){return null;}})(%1)")
            .arg(
                QString::fromUtf8(QJsonDocument(QJsonArray{request}).toJson(QJsonDocument::Compact))
                    .mid(1)
                    .chopped(1));
    m_pPage->runJavaScript(script, [&](const QVariant& result) {
        answered = true;
        answer = result.isNull() ? QString() : result.toString();
        loop.quit();
    });
    QTimer::singleShot(kCallFunctionTimeoutMs, &loop, &QEventLoop::quit);
    if (!answered) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return answered ? answer : QString();
}

std::int32_t CShockwaveflash1::FlashVersion() const {
    return RuffleInstalled() ? kRuffleFlashVersion : 0;
}

}  // namespace tavrin::ui
