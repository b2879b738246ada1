// CDocHostSite: the page object through which the login browser's engine asks its host how
// to behave. Its answers: no borders, the engine's own context menu and error pages, no
// script-error reports, scripting and Flash content allowed (Flash through the launcher's
// player), message boxes through the view's hook, `window.external` carrying the view's
// three methods for the operator's own frames only, new windows in the player's default
// browser, and no downloads or HTTP log-ins inside the launcher.
#pragma once

#include <QWebEnginePage>

namespace tavrin::ui {

// What the page asks of the view that shows it.
class CDocHostView {
public:
    virtual void OnBeforeNavigate2(bool isMainFrame) = 0;
    // True when the view took the page's message box itself.
    virtual bool OnShowMessage(const QString& text) = 0;
    virtual QString OnBridgeCall(const QString& request) = 0;

protected:
    ~CDocHostView() = default;
};

class CDocHostSite : public QWebEnginePage {
    Q_OBJECT

public:
    // A page of `view`, which owns it.
    CDocHostSite(QObject* owner, CDocHostView& view);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                          const QString& defaultValue, QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    // True when a frame of this origin may use the page's bridge: the page's own origin.
    bool IsPageOrigin(const QUrl& securityOrigin) const;
    void RefuseLogIn(const QUrl& address);

    CDocHostView* m_pView;
};

}  // namespace tavrin::ui
