// A window a page opened (a target=_blank link, window.open, a form aimed at a new
// window): it never shows. Its first real address goes to the player's default browser, as
// the old controls' new windows went to the system's browser; an empty pop-up that script
// navigates later is followed until it does, and dropped if it never does.
#pragma once

#include <QWebEnginePage>

namespace tavrin::ui {

class PopupCatcher : public QWebEnginePage {
public:
    PopupCatcher(QWebEngineProfile* profile, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    bool m_bHandedOver = false;
};

}  // namespace tavrin::ui
