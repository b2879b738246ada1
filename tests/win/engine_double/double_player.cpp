// The part of the player page's script the double plays when a run asks for it
// (TAVRIN_ENGINE_DOUBLE_PLAYS=1 in the environment, as a whole program's run under Wine
// does): it runs no Ruffle, but makes the engine do what the page's script makes it do on
// a real engine. It reads the page's setup, asks for the player's code, reads the movie's
// header from the network as the player would, and tells the launcher through the page's
// bridge that the movie started, calls GetSysMem and opens each listed game server's
// socket; a missing player or movie is told as the page tells it. The launcher's own
// self-test movie is played further (double_movie.cpp).
#include "engine_double/double_player.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>
#include <utility>

#include "engine_double/double_movie.h"
#include "engine_double/double_state.h"
#include "game/swf_info.h"
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
        movieBytes = got.body;
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
        auto self = shared_from_this();
        Bridge({{"kind", "flashcall"},
                {"request",
                 "<invoke name=\"GetSysMem\" returntype=\"xml\"><arguments></arguments>"
                 "</invoke>"}},
               [self](const std::string& reply) {
                   self->sysmem = WithoutTags(reply);
                   self->Connect();
               });
    }

    void Connect() {
        const json sockets = setup.value("sockets", json::array());
        for (const json& socket : sockets) {
            auto self = shared_from_this();
            const bool first = &socket == &sockets.front();
            Bridge({{"kind", "socket"}, {"url", socket.value("proxyUrl", "")}},
                   [self, first](const std::string& answer) {
                       if (first) {
                           self->PlaySelfTestMovie(answer);
                       }
                   });
        }
    }

    // When the movie is the launcher's own self-test movie, its part is played too.
    void PlaySelfTestMovie(const std::string& socketAnswer) {
        const auto live = page.lock();
        const json answer = json::parse(socketAnswer, nullptr, false);
        if (!live || !answer.is_object() || !answer.contains("url")) {
            return;
        }
        auto self = shared_from_this();
        const std::string url = answer.value("url", "");
        live->Fetch(setup.value("files", "") + "self-test.swf", kContextXhr, origin,
                    [self, url](DoubleResponse got) {
                        const auto page = self->page.lock();
                        if (!page || got.status != 200 || got.body != self->movieBytes) {
                            return;
                        }
                        auto movie = SelfTestMovie::Start(page, url, self->sysmem);
                        page->OnKey([movie](UINT key) { movie->Key(key); });
                    });
    }

    // The text of an ExternalInterface answer such as "<string>8000,4000</string>".
    static std::string WithoutTags(const std::string& xml) {
        std::string text;
        bool inTag = false;
        for (const char c : xml) {
            inTag = c == '<' ? true : c == '>' ? false : inTag;
            if (!inTag && c != '>') {
                text += c;
            }
        }
        return text;
    }

    std::string movieBytes;
    std::string sysmem;
};

// A page of another kind says what its script does in a declaration the double reads
// (<script type="application/x-tavrin-double">[steps]</script>, inert in a real engine):
// {"call": METHOD, "report": PREFIX} calls window.external.METHOD() and loads PREFIX with the
// answer; {"cookie": NAME, "report": PREFIX} loads PREFIX with "readable" when the page's
// script could read the cookie NAME, else "hidden"; {"wait": MS} waits; {"navigate": ADDRESS}
// goes there. Each step after the one before has ended.
struct Declared : std::enable_shared_from_this<Declared> {
    std::weak_ptr<PageDouble> page;
    json steps;
    std::size_t next = 0;
    std::string origin;

    void Next() {
        const auto live = page.lock();
        if (!live || next >= steps.size() || !steps[next].is_object()) {
            return;
        }
        const json step = steps[next++];
        auto self = shared_from_this();
        const std::string report = step.value("report", "");
        if (step.contains("call")) {
            const json request = {{"method", step.value("call", "")}, {"args", json::array()}};
            live->CallExternal(request.dump(), [self, report](bool answered, std::string text) {
                self->Report(report, answered ? text : "null");
            });
        } else if (step.contains("cookie")) {
            const std::string name = step.value("cookie", "");
            bool readable = false;
            for (const platform::BrowserCookie& cookie : State().cookies) {
                readable = readable || (cookie.name == name && !cookie.httpOnly);
            }
            Report(report, readable ? "readable" : "hidden");
        } else if (step.contains("navigate")) {
            live->Navigate(origin + step.value("navigate", ""));
        } else if (step.contains("wait")) {
            const int ms = step.value("wait", 0);
            std::thread([self, ms] {
                Sleep(static_cast<DWORD>(ms));
                Later([self] { self->Next(); });
            }).detach();
        }
    }

    void Report(const std::string& prefix, const std::string& value) {
        const auto live = page.lock();
        if (!live) {
            return;
        }
        auto self = shared_from_this();
        live->Fetch(origin + prefix + QueryEncoded(value), kContextXhr, origin,
                    [self](DoubleResponse) { self->Next(); });
    }
};

constexpr char kDeclarationMark[] = "<script type=\"application/x-tavrin-double\">";

}  // namespace

bool PlaysPlayerPages() {
    const char* plays = std::getenv("TAVRIN_ENGINE_DOUBLE_PLAYS");
    return plays != nullptr && std::string(plays) == "1";
}

void PlayPlayerPage(const std::shared_ptr<PageDouble>& page) {
    const std::string text = page->Text();
    if (const std::size_t declared = text.find(kDeclarationMark); declared != std::string::npos) {
        const std::size_t begin = declared + sizeof kDeclarationMark - 1;
        auto play = std::make_shared<Declared>();
        play->page = page;
        play->steps =
            json::parse(text.substr(begin, text.find("</script>", begin) - begin), nullptr, false);
        play->origin = win::OriginOf(page->Address());
        if (play->steps.is_array()) {
            play->Next();
        }
        return;
    }
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
