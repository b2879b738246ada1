// What the launcher's own pages share: their scripts from the resources, and the one rule for
// whether two addresses are of the same web origin.
#pragma once

#include <QString>
#include <QUrl>

namespace tavrin::ui {

// A script of the launcher's resources (":/scripts/NAME"), as text.
QString ReadPageScript(const QString& name);

// Scheme, host and port alike, an http or https address without a port counting as its
// scheme's default one.
bool SameOrigin(const QUrl& a, const QUrl& b);

}  // namespace tavrin::ui
