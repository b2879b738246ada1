// A window a page opened (a target=_blank link, window.open, a form aimed at a new
// window): it never shows. Its first real address goes to the player's default browser, as
// the old controls' new windows went to the system's browser; an empty pop-up that script
// navigates later is followed until it does, and dropped if it never does.
//
// Both are bounded, so that no page can flood the player's desktop or fill memory with
// them: a few pop-ups of a page wait at a time, and a few addresses a minute go out.
#pragma once

#include <QWebEnginePage>

namespace tavrin::ui {

class PopupCatcher : public QWebEnginePage {
public:
    // A new catcher for a window `opener` opens; null (the window is not opened) while
    // the opener already has as many waiting as it may.
    static PopupCatcher* Create(QWebEngineProfile* profile, QWebEnginePage* opener);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    PopupCatcher(QWebEngineProfile* profile, QObject* parent);

    bool m_bHandedOver = false;
};

}  // namespace tavrin::ui
