// The launcher's self-test movie (res/self-test/SelfTest.hx) as the double plays it where no
// player runs: the same lines to its game server, through the launcher's relay over the page's
// web messages as the player page's socket sends them, and the same full-screen requests of
// the page, so that the launcher's part of the self-test (the relay, the keys, full screen)
// runs for real on the double.
#include "engine_double/double_movie.h"

#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>
#include <utility>

#include "engine_double/double_com.h"
#include "net/http_parse.h"

namespace tavrin::test::engine_double {

using json = nlohmann::json;

// The page's side of the movie's socket: its calls on the relay's channel, each with an id
// that the launcher's answer carries back; one send at a time, a receive always waiting.
struct SelfTestMovie::State : std::enable_shared_from_this<SelfTestMovie::State> {
    std::weak_ptr<PageDouble> page;
    std::string url;
    int keys = 0;
    int lastCall = 0;
    std::map<int, std::function<void(const json&)>> waiting;
    std::deque<std::string> toSend;
    bool open = false;
    bool sending = false;
    bool closed = false;
    std::string lines;

    void Call(json message, std::function<void(const json&)> done) {
        const auto live = page.lock();
        if (!live) {
            return;
        }
        message["id"] = ++lastCall;
        message["kind"] = "relay";
        message["url"] = url;
        waiting[lastCall] = std::move(done);
        live->PostWebMessage(message.dump());
    }
    void Answered(const std::string& text) {
        const json reply = json::parse(text, nullptr, false);
        const auto found = reply.is_object() && reply.value("id", json()).is_number_integer()
                               ? waiting.find(reply["id"].get<int>())
                               : waiting.end();
        if (found != waiting.end()) {
            auto done = std::move(found->second);
            waiting.erase(found);
            done(reply.value("answer", json::object()));
        }
    }
    void Send(const std::string& line) {
        toSend.push_back(line + "\n");
        Flush();
    }
    void Flush() {
        if (!open || sending || closed || toSend.empty()) {
            return;
        }
        sending = true;
        auto self = shared_from_this();
        Call({{"op", "send"}, {"data", Base64Encode(toSend.front())}}, [self](const json&) {
            self->toSend.pop_front();
            self->sending = false;
            self->Flush();
        });
    }
    void Receive() {
        auto self = shared_from_this();
        Call({{"op", "receive"}}, [self](const json& answer) {
            if (answer.value("closed", 0) != 0) {
                self->closed = true;
                return;
            }
            std::string bytes;
            Base64Decode(answer.value("data", ""), bytes);
            self->lines += bytes;
            if (self->lines.find("echo\n") != std::string::npos) {
                self->lines.clear();
                self->Send("echoed");
            }
            self->Receive();
        });
    }
};

std::shared_ptr<SelfTestMovie> SelfTestMovie::Start(std::weak_ptr<PageDouble> page,
                                                    const std::string& url,
                                                    const std::string& sysmem) {
    auto movie = std::make_shared<SelfTestMovie>();
    auto state = std::make_shared<State>();
    movie->m_state = state;
    state->page = page;
    state->url = url;
    const auto live = page.lock();
    if (!live) {
        return movie;
    }
    live->OnWebMessage([state](const std::string& text) { state->Answered(text); });
    state->Call({{"op", "open"}}, [state, sysmem](const json& answer) {
        if (!answer.value("ok", false)) {
            return;
        }
        state->open = true;
        state->Send("sysmem " + sysmem);
        state->Send("echo");
        state->Receive();
    });
    return movie;
}

void SelfTestMovie::Key(UINT key) {
    m_state->Send("key " + std::to_string(key));
    if (++m_state->keys > 1) {
        return;
    }
    const auto page = m_state->page.lock();
    if (!page) {
        return;
    }
    page->RequestFullScreen(true);
    auto state = m_state;
    std::thread([state] {
        Sleep(1000);
        Later([state] {
            const auto live = state->page.lock();
            if (live != nullptr) {
                state->Send("fullscreen-on");
                live->RequestFullScreen(false);
            }
        });
        Sleep(1000);
        Later([state] {
            if (state->page.lock() != nullptr) {
                state->Send("fullscreen-off");
            }
        });
    }).detach();
}

}  // namespace tavrin::test::engine_double
