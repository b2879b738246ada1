// The launcher's self-test movie (res/self-test/SelfTest.hx) as the double plays it where no
// player runs: the same lines to its game server, through the launcher's relay over a real
// WebSocket, and the same full-screen requests of the page, so that the launcher's part of
// the self-test (the relay, the keys, full screen) runs for real on the double.
#include "engine_double/double_movie.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

#include "engine_double/double_com.h"
#include "net/socket_transport.h"
#include "net/websocket.h"

namespace tavrin::test::engine_double {

struct SelfTestMovie::State {
    std::weak_ptr<PageDouble> page;
    std::mutex mutex;
    SocketHandle socket = kInvalidSocket;
    int keys = 0;

    void Send(const std::string& line) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (socket != kInvalidSocket) {
            const std::string frame =
                EncodeWebSocketFrame(WebSocketOpcode::kBinary, line + "\n", true, 0x5a17c0de);
            SendAll(socket, frame.data(), static_cast<long>(frame.size()), 5000);
        }
    }
};

namespace {

// "ws://127.0.0.1:PORT/path": the port and the path.
bool SplitAddress(const std::string& url, std::uint16_t& port, std::string& path) {
    const std::string prefix = "ws://127.0.0.1:";
    if (url.rfind(prefix, 0) != 0) {
        return false;
    }
    const std::size_t slash = url.find('/', prefix.size());
    port = static_cast<std::uint16_t>(std::stoi(url.substr(prefix.size(), slash - prefix.size())));
    path = slash == std::string::npos ? "/" : url.substr(slash);
    return true;
}

// Opens the WebSocket as the page's engine would, then reads what the relay sends back.
void Run(std::shared_ptr<SelfTestMovie::State> state, std::string url, std::string origin,
         std::string sysmem) {
    std::uint16_t port = 0;
    std::string path;
    if (!SplitAddress(url, port, path)) {
        return;
    }
    const SocketHandle s = ConnectTcp("127.0.0.1", port, 5000);
    if (s == kInvalidSocket) {
        return;
    }
    const std::string opening = "GET " + path +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: dGF2cmluLWRvdWJsZS1rZQ==\r\n"
                                "Sec-WebSocket-Version: 13\r\nOrigin: " +
                                origin + "\r\n\r\n";
    SendAll(s, opening.data(), static_cast<long>(opening.size()), 5000);
    std::string answer;
    char buffer[4096];
    while (answer.find("\r\n\r\n") == std::string::npos) {
        const long got = RecvWithTimeout(s, buffer, sizeof buffer, 10000);
        if (got <= 0) {
            CloseSocket(s);
            return;
        }
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    if (answer.rfind("HTTP/1.1 101", 0) != 0) {
        CloseSocket(s);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(state->mutex);
        state->socket = s;
    }
    state->Send("sysmem " + sysmem);
    state->Send("echo");
    WebSocketFrameReader reader(false);
    WebSocketFrameReader::Output out;
    out.data = answer.substr(answer.find("\r\n\r\n") + 4);
    std::string lines;
    for (;;) {
        lines += out.data;
        out.data.clear();
        if (lines.find("echo\n") != std::string::npos) {
            lines.clear();
            state->Send("echoed");
        }
        const long got = RecvWithTimeout(s, buffer, sizeof buffer, 60000);
        if (got <= 0 || out.closed || !out.error.empty()) {
            break;
        }
        reader.Feed(std::string_view(buffer, static_cast<std::size_t>(got)), out);
    }
    const std::lock_guard<std::mutex> lock(state->mutex);
    CloseSocket(state->socket);
    state->socket = kInvalidSocket;
}

}  // namespace

std::shared_ptr<SelfTestMovie> SelfTestMovie::Start(std::weak_ptr<PageDouble> page,
                                                    const std::string& url,
                                                    const std::string& origin,
                                                    const std::string& sysmem) {
    auto movie = std::make_shared<SelfTestMovie>();
    movie->m_state = std::make_shared<State>();
    movie->m_state->page = std::move(page);
    std::thread(Run, movie->m_state, url, origin, sysmem).detach();
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
