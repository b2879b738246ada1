#include "ui/doc_host_site.h"

#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QFile>

#include "ui/html_view.h"

namespace tavrin::ui {

namespace {

const QString kBridgeMark = QStringLiteral("\u0001tavrin-bridge");

QWebEngineScript BridgeScript() {
    QFile file(QStringLiteral(":/scripts/external.js"));
    file.open(QIODevice::ReadOnly);
    QWebEngineScript script;
    script.setName(QStringLiteral("tavrin-external"));
    script.setSourceCode(QString::fromUtf8(file.readAll()));
    // Before the page's own scripts, in the page's world, in every frame: the page must
    // find `window.external` as soon as it runs.
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    return script;
}

}  // namespace

CDocHostSite::CDocHostSite(CMLHtmlView* view) : QWebEnginePage(view), m_pView(view) {
    QWebEngineSettings* s = settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    scripts().insert(BridgeScript());
}

bool CDocHostSite::acceptNavigationRequest(const QUrl&, NavigationType, bool isMainFrame) {
    m_pView->OnBeforeNavigate2(isMainFrame);
    return true;
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
        *result = m_pView->OnBridgeCall(defaultValue);
        return true;
    }
    return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
}

void CDocHostSite::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                            const QString&) {
    // Script errors are neither shown nor logged; the page keeps running.
}

}  // namespace tavrin::ui
