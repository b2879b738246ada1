// The settings a signed update may move: where players' launchers find the operator's platform
// configuration (configUrl) and the key update descriptions are signed with (updateKey). An
// operator moving to a new service ships them in the launcher package's config.ini; every
// other line of the player's config.ini stays as it was.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tavrin {

using ConfigValues = std::vector<std::pair<std::string, std::string>>;

// The movable keys an INI text sets in its [config] section (the first of each, as a profile
// reader takes it), with their values trimmed as the reader trims them.
ConfigValues MovableConfigValues(const std::string& iniText);

// Why the values cannot be handed to players ("" when they can): configUrl must be an http or
// https address, updateKey 64 hex digits.
std::string CheckMovableConfigValues(const ConfigValues& values);

// `player` with `values` in place of its own: an existing key's line takes the new value, a
// missing key is added at the end of [config], a missing section at the end of the text.
// Keys and sections match without regard to case; line ends follow the text's own.
std::string WithConfigValues(const std::string& player, const ConfigValues& values);

}  // namespace tavrin
