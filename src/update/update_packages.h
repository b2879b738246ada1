// The update's packages once they are here: their digest, which program of the launcher
// package is the new launcher, and what its config.ini may change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "update/config_keys.h"

namespace tavrin {

// A package without a declared size (GameSize, updateSize) stops at this many bytes; a
// declared size may go up to the largest.
inline constexpr std::uint64_t kDefaultPackageBytes = std::uint64_t{1} << 30;   // 1 GiB
inline constexpr std::uint64_t kLargestPackageBytes = std::uint64_t{16} << 30;  // 16 GiB
// A declared package size: decimal digits only, from 1 to kLargestPackageBytes.
bool ParsePackageSize(const std::string& text, std::uint64_t& bytes);

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

// The settings the unpacked launcher package's config.ini moves players to. Only a key's
// signature vouches for them (through the package's digest in the signed description):
// without one (`signed` false) the file is left out of the update, and `leftOut` says so.
// False, and why in `refusal`, when they could only break the players' launchers (an address
// that is no web address, a key that is no key) or the file is larger than a setting file.
bool StageConfigValues(const std::string& gameFolder, bool signedUpdate, ConfigValues& moved,
                       bool& leftOut, std::string& refusal);

}  // namespace tavrin
