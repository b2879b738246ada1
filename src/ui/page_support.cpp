#include "ui/page_support.h"

#include <QFile>

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
    return a.scheme() == b.scheme() && a.host() == b.host() && PortOf(a) == PortOf(b);
}

}  // namespace tavrin::ui
