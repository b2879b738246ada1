// The one browser profile of the launcher, shared by the login browser and the game's
// player page: kept on disk per base name (cookies, the pages' local storage, the game's
// saved data), outside the data directory that pruning empties. The launcher's own fetch
// of the verification address carries this profile's cookies, as the browser would.
#pragma once

#include <vector>

#include "platform/url_fetch.h"

class QWebEngineProfile;

namespace tavrin::ui {

// Made at first use, after the application object and the base name are set.
QWebEngineProfile* LauncherProfile();
// Before the first LauncherProfile: nothing of this run is stored (a check of a movie must
// leave the player's logins and saved games as they are).
void KeepBrowserDataForThisRunOnly();
// Deletes the profile; every page that uses it must be gone first.
void ReleaseLauncherProfile();

// Every cookie the profile holds now, HttpOnly ones included.
std::vector<platform::BrowserCookie> BrowserCookies();

}  // namespace tavrin::ui
