// The double's stand-in for the player page's script (see double_player.cpp).
#pragma once

#include <memory>

#include "engine_double/engine_double.h"

namespace tavrin::test::engine_double {

// True when this run asked the double to play the player pages it shows.
bool PlaysPlayerPages();
// Plays the committed player page of `page`, if it is one.
void PlayPlayerPage(const std::shared_ptr<PageDouble>& page);

}  // namespace tavrin::test::engine_double
