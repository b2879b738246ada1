// The update's packages once they are here: their digest, and which program of the launcher
// package is the new launcher.
#pragma once

#include <string>
#include <vector>

namespace tavrin {

// "" when the package's SHA-256 is `digest` (or there is no digest to check); else why not,
// and the package is removed, never unpacked.
std::string CheckPackage(const std::string& package, const std::string& digest,
                         const std::string& name);

// The new launcher among the programs the package unpacked: the one that already carries our
// name (in any case where the system's names ignore case), else the only one. Several, none
// of them ours, could be a helper as well as the launcher, and staging the wrong one would
// break the player's launcher: "" and why in `refusal`.
std::string ChooseLauncher(const std::vector<std::string>& programs, const std::string& ownName,
                           std::string& refusal);

}  // namespace tavrin
