#include "ui/browser_profile.h"

#include <cstdio>

#include <QApplication>
#include <QDateTime>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

#include "app/app_globals.h"
#include "app/data_dir.h"
#include "app/diagnostics.h"
#include "ui/message_box.h"
#include "ui/ruffle_scheme.h"

namespace tavrin::ui {

namespace {

struct Profile {
    QWebEngineProfile* profile = nullptr;
    // What the cookie store holds: it tells of every change, and of the stored cookies
    // once loaded, but cannot be asked.
    QList<QNetworkCookie> cookies;
};

Profile& TheProfile() {
    static Profile state;
    return state;
}

void ForgetCookie(const QNetworkCookie& cookie) {
    TheProfile().cookies.removeIf(
        [&](const QNetworkCookie& held) { return held.hasSameIdentifier(cookie); });
}

void KeepCookie(const QNetworkCookie& cookie) {
    ForgetCookie(cookie);
    TheProfile().cookies.append(cookie);
}

// Pages may not make the launcher download files: it has nowhere to put them that the
// player would look. The player hears why nothing happened.
void RefuseDownload(QWebEngineDownloadRequest* download) {
    const QString address = download->url().toDisplayString();
    download->cancel();
    Diagnose("refused a download the page asked for: %s", qPrintable(address));
    QMetaObject::invokeMethod(
        qApp,
        [address] {
            ShowMessage(
                nullptr,
                QCoreApplication::translate(
                    "BrowserProfile", "启动器不能下载文件：\n%1\n请在浏览器中打开该地址下载。")
                    .arg(address),
                MessageKind::kOk);
        },
        Qt::QueuedConnection);
}

bool& ForThisRunOnly() {
    static bool only = false;
    return only;
}

QWebEngineProfile* MakeProfile() {
    const std::string folder = ForThisRunOnly() ? std::string() : BrowserProfileDir();
    QWebEngineProfile* profile = nullptr;
    if (folder.empty()) {
        if (!ForThisRunOnly()) {
            Diagnose(
                "no per-user folder for the browser profile: logins and saved games are "
                "kept for this run only");
        }
        profile = new QWebEngineProfile(qApp);
    } else {
        const QString path = QString::fromLocal8Bit(folder);
        profile = new QWebEngineProfile(QString::fromLocal8Bit(g_strBaseName), qApp);
        profile->setPersistentStoragePath(path);
        // Beside the rest of the profile: elsewhere it could land in the pruned folder.
        profile->setCachePath(path + QStringLiteral("Cache"));
        profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
    }
    QWebEngineCookieStore* store = profile->cookieStore();
    QObject::connect(store, &QWebEngineCookieStore::cookieAdded, profile, &KeepCookie);
    QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, profile, &ForgetCookie);
    store->loadAllCookies();
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile, &RefuseDownload);
    profile->installUrlSchemeHandler(kRuffleScheme, new RuffleSchemeHandler(profile));
    return profile;
}

platform::BrowserCookie ToBrowserCookie(const QNetworkCookie& cookie) {
    platform::BrowserCookie out;
    out.name = cookie.name().toStdString();
    out.value = cookie.value().toStdString();
    // The engine writes a domain cookie's domain with a leading dot, a host's without.
    const QString domain = cookie.domain();
    out.hostOnly = !domain.startsWith(QLatin1Char('.'));
    out.domain = (out.hostOnly ? domain : domain.mid(1)).toStdString();
    out.path = cookie.path().isEmpty() ? "/" : cookie.path().toStdString();
    out.secure = cookie.isSecure();
    out.httpOnly = cookie.isHttpOnly();
    out.expires = cookie.isSessionCookie() ? 0 : cookie.expirationDate().toSecsSinceEpoch();
    return out;
}

}  // namespace

void KeepBrowserDataForThisRunOnly() {
    ForThisRunOnly() = true;
}

QWebEngineProfile* LauncherProfile() {
    Profile& state = TheProfile();
    if (state.profile == nullptr) {
        state.profile = MakeProfile();
    }
    return state.profile;
}

void ReleaseLauncherProfile() {
    Profile& state = TheProfile();
    delete state.profile;
    state.profile = nullptr;
    state.cookies.clear();
}

std::vector<platform::BrowserCookie> BrowserCookies() {
    std::vector<platform::BrowserCookie> cookies;
    for (const QNetworkCookie& cookie : TheProfile().cookies) {
        cookies.push_back(ToBrowserCookie(cookie));
    }
    return cookies;
}

}  // namespace tavrin::ui
