// The per-user data directory over the life of the process: made at start-up, and pruned
// after the login window appears and again at exit unless an update is staged in it.
#pragma once

#include <string>

namespace tavrin {

// Computes the data directory (GetDataDir), creates it with every missing parent and returns
// it. Failures to create are ignored. Empty, with the reason on standard error, when there is
// no data directory (no usable base name or no local data folder): nothing is then pruned or
// updated.
std::string PrepareDataDir();

// The named mutex the update check holds while it works in the data directory; pruning
// leaves the directory alone while another process holds it.
std::string UpdateMutexName(const std::string& baseName);
// Held only while an update check runs, so that a copy started meanwhile can tell an update
// (it must not start) from a moment's pruning (it goes on).
std::string UpdatingMutexName(const std::string& baseName);

// The staged new launcher: dataDir + "Game" + separator + baseName + executable suffix.
std::string StagedLauncherPath(const std::string& dataDir, const std::string& baseName);

// Removes the data directory and everything in it, unless the staged launcher exists there
// or another process holds the update mutex (it is downloading or unpacking there, or its
// updater is at work). Does nothing without a data directory or a usable base name: the
// folder would then be the user's whole application data folder or above.
void PruneDataDir(const std::string& dataDir, const std::string& baseName);

// The embedded browser's profile (cookies, the pages' storage, the game's saved data) of
// the program with this base name: "<base name>.browser" in the user's state folder,
// beside and never inside a data directory, so pruning and updates leave it alone. Empty
// when there is no state folder or no usable base name: the browser then keeps nothing.
std::string BrowserProfileDirFor(const std::string& stateFolder, const std::string& baseName);
std::string BrowserProfileDir();

}  // namespace tavrin
