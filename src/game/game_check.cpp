#include "game/game_check.h"

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "app/app_globals.h"
#include "game/swf_info.h"
#include "platform/url_fetch.h"

namespace tavrin {

namespace {

// Movies are fetched whole for their header; larger ones are said to be too large.
constexpr std::size_t kMaxMovieBytes = 256u << 20;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Runs of white space as one space, none at either end.
std::string Simplified(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (!space) {
            out += c;
        } else if (!out.empty() && out.back() != ' ') {
            out += ' ';
        }
    }
    if (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

}  // namespace

bool ParseGameCheckOptions(int argc, char** argv, GameCheckOptions& out, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--log-level=", 0) == 0) {
            continue;  // the launcher's own
        }
        if (i + 1 >= argc) {
            error = arg + " needs a value, or is not an option of the check";
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--check-game") {
            out.movie = value;
        } else if (arg == "--flash-vars") {
            out.flashVars = value;
        } else if (arg == "--sockets") {
            out.sockets = value;
        } else if (arg == "--screenshot") {
            out.screenshot = value;
        } else if (arg == "--seconds") {
            char* end = nullptr;
            const long seconds = std::strtol(value.c_str(), &end, 10);
            if (end == value.c_str() || *end != '\0' || seconds < 1 || seconds > 600) {
                error = "--seconds takes 1 to 600";
                return false;
            }
            out.seconds = static_cast<int>(seconds);
        } else if (arg != "--log-level") {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (!platform::IsWebAddress(out.movie)) {
        error = "--check-game takes the movie's http or https address";
        return false;
    }
    return true;
}

void PrintCheckLine(const char* name, const std::string& value) {
    std::printf("%s=%s\n", name, value.c_str());
    std::fflush(stdout);
}

void PrintMovieFormat(const std::string& movie) {
    platform::FetchLimits limits;
    limits.maxBodyBytes = kMaxMovieBytes;
    limits.totalTimeoutMs = 60000;
    std::string bytes;
    std::string error;
    SwfInfo info;
    if (!platform::FetchUrlBody(movie, g_strBaseName, bytes, limits, &error)) {
        PrintCheckLine("format", "not fetched: " + error);
        return;
    }
    if (!ReadSwfInfo(bytes, info, &error)) {
        PrintCheckLine("format", "not a movie: " + error);
        return;
    }
    PrintCheckLine("format", "SWF " + std::to_string(info.version) + ", compression " +
                                 CompressionName(info.compression) + ", " +
                                 std::to_string(info.fileLength) + " bytes");
    if (info.bodyRead) {
        PrintCheckLine("script", ScriptName(info.script));
        PrintCheckLine("stage", Number(info.stageWidth) + "x" + Number(info.stageHeight));
        PrintCheckLine("frameRate", Number(info.frameRate));
        PrintCheckLine("frames", std::to_string(info.frameCount));
    }
}

std::string SocketOutcome(const GameRelay::Answer& answer) {
    switch (answer.result) {
        case GameRelay::Answer::Result::kConnected:
            return "connected (" + answer.detail + ")";
        case GameRelay::Answer::Result::kRefused:
            return "refused: " + answer.detail;
        case GameRelay::Answer::Result::kPending:
            return "pending";
        case GameRelay::Answer::Result::kFailed:
            break;
    }
    return "failed: " + answer.detail;
}

void Tally::Add(const std::string& name) {
    for (auto& [known, count] : m_counts) {
        if (known == name) {
            ++count;
            return;
        }
    }
    m_counts.emplace_back(name, 1);
}

void Tally::PrintAll(const char* key) const {
    for (const auto& [name, count] : m_counts) {
        PrintCheckLine(key, count == 1 ? name : name + " (" + std::to_string(count) + " times)");
    }
}

void GameCheckReport::Started(const PageMessage::Movie& movie) {
    m_bStarted = true;
    m_movie = movie;
}

void GameCheckReport::SocketAnswered(const std::string& endpoint, const std::string& outcome) {
    m_sockets.Add(endpoint + ' ' + outcome);
}

void GameCheckReport::PlayerLine(bool error, const std::string& line) {
    static const std::regex styled("^%c(ERROR|WARN|INFO|DEBUG|TRACE)%c \\S+%c (.*?)( color: .*)?$");
    // Sockets the configuration does not list never reach the launcher: the player says so.
    static const std::regex unlisted("Missing WebSocket proxy for host (\\S+), port (\\d+)");
    static const std::regex font("Unknown device font \"([^\"]*)\"");
    const std::string simple = Simplified(line);
    std::smatch parts;
    const bool isStyled = std::regex_match(simple, parts, styled);
    const std::string level = isStyled ? parts[1].str() : std::string();
    const std::string text = isStyled ? parts[2].str() : simple;
    std::smatch m;
    if (std::regex_search(text, m, unlisted)) {
        m_sockets.Add(m[1].str() + ':' + m[2].str() +
                      " refused: neither listed nor on a host the movie may name");
    } else if (std::regex_search(text, m, font)) {
        m_fonts.Add(m[1].str());
    } else if (error || level == "ERROR") {
        m_errors.Add(text);
    } else if (level == "WARN") {
        m_warnings.Add(text);
    }
}

int GameCheckReport::Finish(bool drew) const {
    PrintCheckLine("started", m_bStarted ? "1" : "0");
    if (m_bStarted) {
        PrintCheckLine("player",
                       "SWF " + std::to_string(m_movie.swfVersion) + ", " +
                           (m_movie.actionScript3 ? "ActionScript 3" : "ActionScript 1/2") + ", " +
                           Number(m_movie.width) + "x" + Number(m_movie.height) + ", " +
                           Number(m_movie.frameRate) + " frames a second");
    }
    PrintCheckLine("drew", drew ? "1" : "0");
    m_calls.PrintAll("externalInterface");
    m_commands.PrintAll("fscommand");
    m_sockets.PrintAll("socket");
    m_fonts.PrintAll("missingFont");
    m_warnings.PrintAll("warning");
    m_errors.PrintAll("error");
    if (!m_strFailure.empty() || !m_bStarted) {
        PrintCheckLine(
            "result",
            "did not run: " + (m_strFailure.empty() ? "the movie did not start within " +
                                                          std::to_string(kCheckStartSeconds) + " s"
                                                    : m_strFailure));
        return kCheckDidNotRun;
    }
    PrintCheckLine("result", "ran");
    return kCheckRan;
}

}  // namespace tavrin
