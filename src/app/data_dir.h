// The per-user data directory over the life of the process: made at start-up, and pruned
// after the login window appears and again at exit unless an update is staged in it.
#pragma once

#include <string>

namespace tavrin {

// Computes the data directory (GetDataDir), stores it in g_strDataDir, creates it with
// every missing parent and returns it. Failures to create are ignored.
std::string PrepareDataDir();

// The staged new launcher: dataDir + "Game" + separator + baseName + executable suffix.
std::string StagedLauncherPath(const std::string& dataDir, const std::string& baseName);

// Removes the data directory and everything in it, unless the staged launcher exists there.
// Does nothing for an empty base name or data directory: the folder would then be the
// user's whole application data folder.
void PruneDataDir(const std::string& dataDir, const std::string& baseName);

// The embedded browser's profile (cookies, the pages' storage, the game's saved data) of
// the program with this base name: "<base name>.browser" in the user's state folder,
// beside and never inside a data directory, so pruning and updates leave it alone. Empty
// when there is no state folder or no usable base name: the browser then keeps nothing.
std::string BrowserProfileDirFor(const std::string& stateFolder, const std::string& baseName);
std::string BrowserProfileDir();

}  // namespace tavrin
