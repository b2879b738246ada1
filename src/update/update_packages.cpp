#include "update/update_packages.h"

#include <algorithm>
#include <cstdio>

#include "platform/file_system.h"
#include "update/update_fetch.h"
#include "update/verification.h"

namespace tavrin {

bool ParsePackageSize(const std::string& text, std::uint64_t& bytes) {
    bytes = 0;
    if (text.empty() || text.size() > 13 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    bytes = std::stoull(text);
    return bytes > 0 && bytes <= kLargestPackageBytes;
}

std::string CheckPackage(const std::string& package, const std::string& digest,
                         const std::string& name) {
    if (digest.empty() || SameDigest(FileSha256(package), digest)) {
        return {};
    }
    std::remove(package.c_str());
    return "the " + name + " package does not match its SHA-256 digest";
}

// The new launcher among the programs the package unpacked: the one that already carries our
// name, else the only one. Several, none of them ours, could be a helper as well as the
// launcher, and staging the wrong one would break the player's launcher: "" and why.
std::string ChooseLauncher(const std::vector<std::string>& programs, const std::string& ownName,
                           std::string& refusal) {
    // Ours in whatever case the package spells it, where the system's names ignore case.
    const auto ours = std::find_if(programs.begin(), programs.end(), [&](const std::string& p) {
        return platform::SameFileName(p, ownName);
    });
    if (ours != programs.end()) {
        return *ours;
    }
    if (programs.size() == 1) {
        return programs.front();
    }
    if (programs.size() > 1) {
        refusal = "the launcher package holds " + std::to_string(programs.size()) +
                  " programs and none is named " + ownName;
    }
    return {};
}

bool StageConfigValues(const std::string& gameFolder, bool signedUpdate, ConfigValues& moved,
                       bool& leftOut, std::string& refusal) {
    moved.clear();
    leftOut = false;
    std::string name;
    for (const platform::DirEntry& entry : platform::ListDirectory(gameFolder)) {
        if (!entry.isFolder && platform::SameFileName(entry.name, "config.ini")) {
            name = gameFolder + entry.name;
        }
    }
    if (name.empty()) {
        return true;
    }
    if (!signedUpdate) {
        leftOut = true;
        std::remove(name.c_str());
        return true;
    }
    std::string text;
    if (IsLargerThan(name, kMaxDescriptionBytes) || !platform::ReadWholeFile(name, text)) {
        refusal = "the launcher package's config.ini is larger than 64 KiB or cannot be read";
        return false;
    }
    moved = MovableConfigValues(text);
    const std::string why = CheckMovableConfigValues(moved);
    if (!why.empty()) {
        refusal = "the launcher package's config.ini would move players nowhere: " + why;
        return false;
    }
    return true;
}

}  // namespace tavrin
