// Ruffle, the Flash player the game movies run in, is served to the player page from a
// scheme of our own ("tavrin-ruffle:"), from the folder it was installed in. The player page
// itself takes the origin of the operator's movie, so the movie loads without any CORS
// headers from the operator; Ruffle's own files come from here.
#pragma once

#include <functional>

#include <QString>
#include <QWebEngineUrlSchemeHandler>

namespace tavrin::ui {

inline constexpr const char* kRuffleScheme = "tavrin-ruffle";

// Must run before the application object exists.
void RegisterRuffleScheme();

// The folder holding ruffle.js and its WebAssembly modules: "ruffle" beside the program,
// unless SetRuffleFolder named another.
QString RuffleFolder();
void SetRuffleFolder(const QString& folder);

// True when the folder holds a complete player.
bool RuffleInstalled();

// The player's font for Chinese device-font text (game/player_font) is served on the scheme
// at ChineseFontUrl, to the player page that the token names and nobody else.
QString ChineseFontUrl(const QString& pageToken);

// The game players' own pages, served on the scheme too: the player answers for them. Each
// player sets these before its first page loads.
struct PlayerPages {
    // True when the request was for a player's page and has been answered.
    std::function<bool(QWebEngineUrlRequestJob*)> answer;
    // True when the request comes from the page of the player whose token it names.
    std::function<bool(const QWebEngineUrlRequestJob*, const QString& token)> fromPlayerPage;
};
void SetPlayerPages(PlayerPages pages);

class RuffleSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override;
};

}  // namespace tavrin::ui
