// The part of the player page's script the double plays when a run asks for it
// (TAVRIN_ENGINE_DOUBLE_PLAYS=1 in the environment, as a whole program's run under Wine
// does): it runs no Ruffle, but makes the engine do what the page's script makes it do on
// a real engine. It reads the page's setup, asks for the player's code, reads the movie's
// header from the network as the player would, and tells the launcher through the page's
// bridge that the movie started, calls GetSysMem and opens each listed game server's
// socket; a missing player or movie is told as the page tells it.
#include "engine_double/double_player.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <utility>

#include "app/swf_info.h"
#include "engine_double/double_state.h"
#include "win/webview2_view.h"

namespace tavrin::test::engine_double {

namespace {

using json = nlohmann::json;

constexpr int kContextFont = 5;
constexpr int kContextScript = 6;
constexpr int kContextXhr = 7;
constexpr char kSetupMark[] = "window.__tavrinFlashSetup=";

std::string QueryEncoded(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

struct Play : std::enable_shared_from_this<Play> {
    std::weak_ptr<PageDouble> page;
    json setup;
    std::string origin;

    std::string Text(const char* name) const {
        return setup.value("texts", json::object()).value(name, "");
    }

    // One message through the page's bridge, as the page's synchronous request.
    void Bridge(const json& message, std::function<void(std::string)> then) {
        const auto live = page.lock();
        if (!live) {
            return;
        }
        live->Fetch(setup.value("bridge", "") + QueryEncoded(message.dump()), kContextXhr, origin,
                    [then = std::move(then)](DoubleResponse got) {
                        if (then) {
                            then(got.status == 200 ? got.body : std::string());
                        }
                    });
    }

    void Fail(const char* reason, const std::string& detail) {
        Bridge({{"kind", "failed"}, {"reason", Text(reason)}, {"detail", detail}}, nullptr);
    }

    void Start() {
        const auto live = page.lock();
        if (!live) {
            return;
        }
        const std::string player = setup.value("files", "") + "ruffle.js";
        auto self = shared_from_this();
        live->Fetch(player, kContextScript, origin, [self, player](DoubleResponse got) {
            if (got.status != 200) {
                self->Fail("noPlayer", player);
                return;
            }
            self->FontThenMovie();
        });
    }

    void FontThenMovie() {
        const auto live = page.lock();
        if (live && setup.contains("font")) {
            live->Fetch(setup["font"].value("url", ""), kContextFont, origin,
                        [](DoubleResponse) {});
        }
        const std::string movie = setup.value("movie", "");
        const DoubleResponse got = FetchFromNetwork(movie);
        SwfInfo info;
        std::string error;
        if (got.status != 200 || !ReadSwfInfo(got.body, info, &error) || !info.bodyRead) {
            Fail("broken", "Something went wrong: " + movie);
            return;
        }
        const json started = {{"kind", "started"},
                              {"movie",
                               {{"swfVersion", info.version},
                                {"isActionScript3", info.script == SwfInfo::Script::kAs3},
                                {"width", info.stageWidth},
                                {"height", info.stageHeight},
                                {"frameRate", info.frameRate},
                                {"numFrames", info.frameCount}}}};
        auto self = shared_from_this();
        Bridge(started, [self](const std::string&) { self->CallAndConnect(); });
    }

    void CallAndConnect() {
        Bridge({{"kind", "flashcall"},
                {"request",
                 "<invoke name=\"GetSysMem\" returntype=\"xml\"><arguments></arguments>"
                 "</invoke>"}},
               nullptr);
        for (const json& socket : setup.value("sockets", json::array())) {
            Bridge({{"kind", "socket"}, {"url", socket.value("proxyUrl", "")}}, nullptr);
        }
    }
};

}  // namespace

bool PlaysPlayerPages() {
    const char* plays = std::getenv("TAVRIN_ENGINE_DOUBLE_PLAYS");
    return plays != nullptr && std::string(plays) == "1";
}

void PlayPlayerPage(const std::shared_ptr<PageDouble>& page) {
    const std::string text = page->Text();
    const std::size_t mark = text.find(kSetupMark);
    if (mark == std::string::npos) {
        return;
    }
    const std::size_t begin = mark + sizeof kSetupMark - 1;
    const std::size_t end = text.find(";</script>", begin);
    auto play = std::make_shared<Play>();
    play->page = page;
    play->setup = json::parse(text.substr(begin, end - begin), nullptr, false);
    play->origin = win::OriginOf(page->Address());
    if (play->setup.is_object()) {
        play->Start();
    }
}

}  // namespace tavrin::test::engine_double
