#include "ui/doc_host_site.h"

#include <cstdio>

#include <QAuthenticator>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include "app/diagnostics.h"
#include "ui/browser_profile.h"
#include "ui/message_box.h"
#include "ui/page_support.h"
#include "ui/popup_catcher.h"
#include "ui/shell_open.h"

namespace tavrin::ui {

namespace {

const QString kBridgeMark = QStringLiteral("\u0001tavrin-bridge");

// Before the page's own scripts, in the page's world, in every frame.
QWebEngineScript PageScript(const QString& name, const QString& source,
                            QWebEngineScript::InjectionPoint point) {
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setInjectionPoint(point);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    return script;
}

}  // namespace

CDocHostSite::CDocHostSite(QObject* owner, CDocHostView& view)
    : QWebEnginePage(LauncherProfile(), owner), m_pView(&view) {
    QWebEngineSettings* s = settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    // New windows only from the player's own click, as browsers allow them: a frame's
    // script (an advertisement's loop) opens nothing by itself.
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    // The page must find `window.external` as soon as it runs.
    scripts().insert(PageScript(QStringLiteral("tavrin-external"),
                                ReadPageScript(QStringLiteral("external.js")),
                                QWebEngineScript::DocumentCreation));
    scripts().insert(PageScript(QStringLiteral("tavrin-login-flash"),
                                ReadPageScript(QStringLiteral("ruffle_fetch.js")) +
                                    ReadPageScript(QStringLiteral("login_flash.js")),
                                QWebEngineScript::DocumentCreation));
    LogPageCrashes(this, "login page");
    connect(this, &QWebEnginePage::authenticationRequired, this,
            [this](const QUrl& address, QAuthenticator* authenticator) {
                *authenticator = QAuthenticator();  // a null authenticator cancels
                RefuseLogIn(address);
            });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl& address, QAuthenticator* authenticator, const QString&) {
                *authenticator = QAuthenticator();
                RefuseLogIn(address);
            });
}

void CDocHostSite::RefuseLogIn(const QUrl& address) {
    const QString shown = address.toDisplayString();
    Diagnose("refused the HTTP log-in that %s asked for", qPrintable(shown));
    // Not from inside the engine's question: the box waits for the player.
    QMetaObject::invokeMethod(
        this,
        [shown] {
            ShowMessage(nullptr, tr("此页面要求HTTP身份验证，启动器不支持：\n%1").arg(shown),
                        MessageKind::kOk);
        },
        Qt::QueuedConnection);
}

bool CDocHostSite::acceptNavigationRequest(const QUrl&, NavigationType, bool isMainFrame) {
    m_pView->OnBeforeNavigate2(isMainFrame);
    return true;
}

QWebEnginePage* CDocHostSite::createWindow(WebWindowType) {
    return PopupCatcher::Create(profile(), this);
}

bool CDocHostSite::IsPageOrigin(const QUrl& securityOrigin) const {
    const QUrl page = url();
    return securityOrigin.scheme() == page.scheme() && securityOrigin.host() == page.host() &&
           securityOrigin.port(-1) == page.port(-1) && !page.host().isEmpty();
}

void CDocHostSite::javaScriptAlert(const QUrl& securityOrigin, const QString& msg) {
    if (!m_pView->OnShowMessage(msg)) {
        QWebEnginePage::javaScriptAlert(securityOrigin, msg);
    }
}

bool CDocHostSite::javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) {
    if (m_pView->OnShowMessage(msg)) {
        return false;  // the owner took the box; nothing was answered
    }
    return QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
}

bool CDocHostSite::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                                    const QString& defaultValue, QString* result) {
    if (msg == kBridgeMark) {
        // A frame of another origin that finds its way to the bridge gets no answer.
        *result = IsPageOrigin(securityOrigin) ? m_pView->OnBridgeCall(defaultValue)
                                               : QStringLiteral("refused");
        return true;
    }
    return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
}

void CDocHostSite::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                            const QString&) {
    // Script errors are neither shown nor logged; the page keeps running.
}

}  // namespace tavrin::ui
