#include "ui/popup_catcher.h"

#include <deque>

#include <QElapsedTimer>
#include <QTimer>

#include "app/diagnostics.h"
#include "ui/shell_open.h"

namespace tavrin::ui {

namespace {

// A pop-up that never navigates anywhere is dropped after this long.
constexpr int kPopupLifetimeMs = 30000;
// Pop-ups of one page waiting for their address at a time.
constexpr int kMaxWaitingPerPage = 4;
// Addresses handed to the player's browser within a minute, from all pages together.
constexpr std::size_t kMaxHandOversPerMinute = 6;
constexpr qint64 kMinuteMs = 60000;

// True when one more address may go out now; counts it.
bool TakeHandOver() {
    static QElapsedTimer clock;
    static std::deque<qint64> recent;
    if (!clock.isValid()) {
        clock.start();
    }
    const qint64 now = clock.elapsed();
    while (!recent.empty() && now - recent.front() >= kMinuteMs) {
        recent.pop_front();
    }
    if (recent.size() >= kMaxHandOversPerMinute) {
        return false;
    }
    recent.push_back(now);
    return true;
}

}  // namespace

PopupCatcher* PopupCatcher::Create(QWebEngineProfile* profile, QWebEnginePage* opener) {
    const auto waiting = opener->findChildren<PopupCatcher*>(Qt::FindDirectChildrenOnly);
    if (waiting.size() >= kMaxWaitingPerPage) {
        Diagnose("refused a new window of %s: %d are already waiting for an address",
                 AddressForLog(opener->url().toEncoded().toStdString()).c_str(),
                 kMaxWaitingPerPage);
        return nullptr;
    }
    return new PopupCatcher(profile, opener);
}

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
        if (TakeHandOver()) {
            OpenInDefaultBrowser(url.toEncoded().toStdString());
        } else {
            Diagnose("refused to open %s: more than %zu new windows within a minute",
                     AddressForLog(url.toEncoded().toStdString()).c_str(), kMaxHandOversPerMinute);
        }
        deleteLater();
    }
    return false;
}

}  // namespace tavrin::ui
