// What the launcher's own pages share: their scripts from the resources, and the one rule for
// whether two addresses are of the same web origin.
#pragma once

#include <QString>
#include <QUrl>

class QWebEnginePage;

namespace tavrin::ui {

// A script of the launcher's resources (":/scripts/NAME"), as text.
QString ReadPageScript(const QString& name);

// Scheme, host and port alike, an http or https address without a port counting as its
// scheme's default one. Addresses without a scheme or a host are never the same origin.
bool SameOrigin(const QUrl& a, const QUrl& b);

// Says in the log when the process behind the page ends other than normally (a crash, the
// system killing it), naming the page (`what`) and the address it showed.
void LogPageCrashes(QWebEnginePage* page, const char* what);

}  // namespace tavrin::ui
