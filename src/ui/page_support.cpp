#include "ui/page_support.h"

#include <QFile>
#include <QWebEnginePage>

#include "app/diagnostics.h"

namespace tavrin::ui {

namespace {

int PortOf(const QUrl& url) {
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

}  // namespace

QString ReadPageScript(const QString& name) {
    QFile file(QStringLiteral(":/scripts/") + name);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

bool SameOrigin(const QUrl& a, const QUrl& b) {
    // An origin without a host ("null", a relative address, a local file) is opaque: it
    // matches nothing, not even another one like it.
    if (a.scheme().isEmpty() || a.host().isEmpty()) {
        return false;
    }
    return a.scheme() == b.scheme() && a.host() == b.host() && PortOf(a) == PortOf(b);
}

void LogPageCrashes(QWebEnginePage* page, const char* what) {
    QObject::connect(
        page, &QWebEnginePage::renderProcessTerminated, page,
        [page, what](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
            if (status == QWebEnginePage::NormalTerminationStatus) {
                return;
            }
            const char* how = status == QWebEnginePage::CrashedTerminationStatus  ? "crashed"
                              : status == QWebEnginePage::KilledTerminationStatus ? "was killed"
                                                                                  : "failed";
            Diagnose("tavrin: the %s's process %s (exit code %d) at %s", what, how, exitCode,
                     AddressForLog(page->url().toEncoded().toStdString()).c_str());
        });
}

}  // namespace tavrin::ui
