// tavrin --check-game: an operator's report on how a movie fares in the launcher's player,
// before any player sees it. Each front end plays the movie in its real player (the same
// page, options and bridge as in the game window, with a browser profile of that run only)
// and tells this report what happened; the report says what the movie is, whether it
// started and drew, what it asked of its host and what the player could not do for it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "game/game_relay.h"
#include "game/player_page.h"

namespace tavrin {

struct GameCheckOptions {
    std::string movie;
    std::string flashVars;
    std::string sockets;  // as a client configuration's "sockets"
    std::string screenshot;
    int seconds = 8;
};

// The check's options from the whole command line (--log-level is the launcher's own).
// False with `error` for one that is not understood or a movie that is not a web address.
bool ParseGameCheckOptions(int argc, char** argv, GameCheckOptions& out, std::string& error);

// How long a movie has to show its first frame; its --seconds count from there.
constexpr int kCheckStartSeconds = 30;

// The exit statuses of the check (a command line not understood is kExitUsage).
constexpr int kCheckRan = 0;
constexpr int kCheckDidNotRun = 1;

// One "name=value" line of the report, on the standard output.
void PrintCheckLine(const char* name, const std::string& value);

// What the movie's file says ("format", and "script", "stage", "frameRate", "frames" when
// its header could be read), from a fetch of its own.
void PrintMovieFormat(const std::string& movie);

// How the relay settled a socket of the movie: "connected (how it was allowed)", "refused:
// why", "failed: why" or "pending".
std::string SocketOutcome(const GameRelay::Answer& answer);

// Names with how often each came, in the order they first came.
class Tally {
public:
    void Add(const std::string& name);
    void PrintAll(const char* key) const;

private:
    std::vector<std::pair<std::string, int>> m_counts;
};

class GameCheckReport {
public:
    void Started(const PageMessage::Movie& movie);
    void Failed(const std::string& reason) { m_strFailure = reason; }
    void Called(const std::string& name) { m_calls.Add(name); }
    void Commanded(const std::string& command) { m_commands.Add(command); }
    void SocketAnswered(const std::string& endpoint, const std::string& outcome);
    // A line the player logged: its console's styling ("%cWARN%c core/src/x.rs:5%c text
    // color: orange; ...") is read for the level; `error` for a line the engine calls one.
    void PlayerLine(bool error, const std::string& line);

    bool HasStarted() const { return m_bStarted; }
    const std::string& Failure() const { return m_strFailure; }
    // Prints everything after the movie's format, its "result" last, and gives the exit
    // status.
    int Finish(bool drew) const;

private:
    bool m_bStarted = false;
    PageMessage::Movie m_movie;
    std::string m_strFailure;
    Tally m_calls;
    Tally m_commands;
    Tally m_sockets;
    Tally m_fonts;  // device fonts the movie asked for that the system does not have
    Tally m_warnings;
    Tally m_errors;
};

}  // namespace tavrin
