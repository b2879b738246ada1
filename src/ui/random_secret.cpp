#include "ui/random_secret.h"

#include <QByteArray>
#include <QRandomGenerator>

namespace tavrin::ui {

QString RandomSecret() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex());
}

}  // namespace tavrin::ui
