// tavrin --check-game: an operator's report on how a movie fares in the launcher's player,
// before any player sees it. The movie plays in the real player (the same page, options and
// bridge as in the game window, with a browser profile of this run only) for a while, and
// the report says what the movie is, whether it started and drew, what it asked of its host
// and what the player could not do for it.
#pragma once

namespace tavrin::ui {

// Runs the check the command line asks for (it holds --check-game) and prints the report
// on the standard output. The exit status: 0 the movie ran, 1 it did not (the reason is in
// the report), 2 a command line that is not understood.
int RunGameCheck(int argc, char** argv);

}  // namespace tavrin::ui
