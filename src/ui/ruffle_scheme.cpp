#include "ui/ruffle_scheme.h"

#include <QDir>
#include <QFile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "app/file_utils.h"

#include <cstdio>

namespace tavrin::ui {

namespace {

QString& FolderOverride() {
    static QString folder;
    return folder;
}

QByteArray MimeTypeOf(const QString& name) {
    if (name.endsWith(QLatin1String(".wasm"))) {
        return "application/wasm";
    }
    if (name.endsWith(QLatin1String(".js"))) {
        return "text/javascript";
    }
    return "application/octet-stream";
}

}  // namespace

void RegisterRuffleScheme() {
    QWebEngineUrlScheme scheme(kRuffleScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    // Secure, so a page of any origin may use it; CORS-enabled, so that page's requests for
    // the player's modules are allowed at all.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QString RuffleFolder() {
    if (!FolderOverride().isEmpty()) {
        return FolderOverride();
    }
    return QString::fromLocal8Bit(GetModuleDir()) + QStringLiteral("ruffle");
}

void SetRuffleFolder(const QString& folder) {
    FolderOverride() = folder;
}

bool RuffleInstalled() {
    const QDir dir(RuffleFolder());
    return dir.exists(QStringLiteral("ruffle.js")) &&
           !dir.entryList({QStringLiteral("*.wasm")}, QDir::Files).isEmpty();
}

const platform::FontFile& ChineseFont() {
    static const platform::FontFile font = [] {
        platform::FontFile found = platform::FindChineseFont();
        if (found.path.empty()) {
            std::fprintf(stderr,
                         "player: no font with Chinese characters on this system; the game's "
                         "Chinese text will not show (install one, e.g. Noto Sans CJK)\n");
        }
        return found;
    }();
    return font;
}

void RuffleSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    if (job->requestUrl().path() == QLatin1String(kChineseFontPath + 1) &&
        !ChineseFont().path.empty()) {
        auto* font = new QFile(QString::fromLocal8Bit(ChineseFont().path), job);
        if (font->open(QIODevice::ReadOnly)) {
            job->reply("font/collection", font);
        } else {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        }
        return;
    }
    // Only plain file names of the player's folder: nothing else on the disk is reachable.
    const QString name = job->requestUrl().path().section(QLatin1Char('/'), -1);
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('\\'))) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto* file = new QFile(QDir(RuffleFolder()).filePath(name), job);
    if (!file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    job->reply(MimeTypeOf(name), file);
}

}  // namespace tavrin::ui
