#include "ui/ruffle_scheme.h"

#include <cstdio>
#include <utility>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "game/player_font.h"

namespace tavrin::ui {

namespace {

PlayerPages& Pages() {
    static PlayerPages pages;
    return pages;
}

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

namespace {

const QLatin1String kFontPathPrefix("/fonts/chinese/");

void ServeChineseFont(QWebEngineUrlRequestJob* job) {
    const QString token = job->requestUrl().path().mid(kFontPathPrefix.size());
    // The font is the player's: a page of another origin, or a frame that does not know a
    // player page's token, gets nothing.
    if (!(Pages().fromPlayerPage && Pages().fromPlayerPage(job, token))) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const std::string& font = GetPlayerFont().bytes;
    if (font.empty()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The bytes stay for the whole run: the reply reads them where they are.
    auto* body = new QBuffer(job);
    body->setData(QByteArray::fromRawData(font.data(), qsizetype(font.size())));
    body->open(QIODevice::ReadOnly);
    job->reply("font/otf", body);
}

}  // namespace

void SetPlayerPages(PlayerPages pages) {
    Pages() = std::move(pages);
}

QString ChineseFontUrl(const QString& pageToken) {
    return QString::fromLatin1(kRuffleScheme) + QLatin1Char(':') + kFontPathPrefix + pageToken;
}

void RuffleSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    if (Pages().answer && Pages().answer(job)) {
        return;
    }
    if (job->requestUrl().path().startsWith(kFontPathPrefix)) {
        ServeChineseFont(job);
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
