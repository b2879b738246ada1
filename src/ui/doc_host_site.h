// CDocHostSite: the page object through which the login browser's engine asks its host how
// to behave. Its answers: no borders, the engine's own context menu and error pages, no
// script-error reports, scripting and plug-ins allowed, message boxes through the view's
// hook, and `window.external` carrying the view's three methods.
#pragma once

#include <QWebEnginePage>

namespace tavrin::ui {

class CMLHtmlView;

class CDocHostSite : public QWebEnginePage {
    Q_OBJECT

public:
    explicit CDocHostSite(CMLHtmlView* view);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                          const QString& defaultValue, QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    CMLHtmlView* m_pView;
};

}  // namespace tavrin::ui
