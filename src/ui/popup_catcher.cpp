#include "ui/popup_catcher.h"

#include <QTimer>

#include "ui/shell_open.h"

namespace tavrin::ui {

namespace {
// A pop-up that never navigates anywhere is dropped after this long.
constexpr int kPopupLifetimeMs = 30000;
}  // namespace

PopupCatcher::PopupCatcher(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {
    QTimer::singleShot(kPopupLifetimeMs, this, &QObject::deleteLater);
}

bool PopupCatcher::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
    if (!isMainFrame || url.isEmpty() || url.toString() == QLatin1String("about:blank")) {
        return true;
    }
    if (!m_bHandedOver) {
        m_bHandedOver = true;
        OpenInDefaultBrowser(url.toEncoded().toStdString());
        deleteLater();
    }
    return false;
}

}  // namespace tavrin::ui
