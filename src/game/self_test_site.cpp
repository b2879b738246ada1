#include "game/self_test_site.h"

#include <cctype>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "app/config.h"
#include "app/diagnostics.h"
#include "net/socket_transport.h"
#include "platform/url_fetch.h"

namespace tavrin {

namespace {

// No request of the engine's or the launcher's is larger; a client that sends more is cut.
constexpr std::size_t kMaxRequestBytes = 64 * 1024;
constexpr std::size_t kMaxClients = 64;

const char kLoginPage[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>自检</title>"
    "<style>body{margin:0;height:100vh;display:flex;align-items:center;justify-content:center;"
    "background:#3b1d12;color:#ffb45a;font:28px sans-serif}</style></head>"
    "<body><p>启动器自检</p>"
    // What the script below does, for an engine stand-in that runs no script.
    "<script type=\"application/x-tavrin-double\">[{\"call\":\"invoke_syssetting\","
    "\"report\":\"/seen?external=\"},{\"cookie\":\"tavrin_self_test\",\"report\":"
    "\"/seen?cookie=\"},{\"wait\":1500},{\"navigate\":\"/verify?server=1\"}]</script>"
    "<script>\n"
    "const report = (name, value) => new Promise((done) => {\n"
    "  const image = new Image();\n"
    "  image.onload = image.onerror = done;\n"
    "  image.src = '/seen?' + name + '=' + encodeURIComponent(value);\n"
    "});\n"
    "let external = 'missing';\n"
    "try {\n"
    "  external = String(window.external.invoke_syssetting());\n"
    "} catch (e) {\n"
    "  external = 'failed: ' + e;\n"
    "}\n"
    "// The session cookie is HttpOnly: a page's script must not read it.\n"
    "Promise.all([report('external', external),\n"
    "             report('cookie', document.cookie.includes('tavrin_self_test') ? 'readable'"
    " : 'hidden')])\n"
    "    .then(() => setTimeout(() => { location.href = '/verify?server=1'; }, 1500));\n"
    "</script></body></html>";

std::string Header(const std::string& request, const std::string& name) {
    const std::string lower = [&] {
        std::string out = request;
        for (char& c : out) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return out;
    }();
    const std::size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t begin = request.find_first_not_of(' ', at + name.size() + 3);
    return request.substr(begin, request.find("\r\n", begin) - begin);
}

std::string Answer(int status, const char* type, const std::string& body,
                   const std::string& extra = {}) {
    return "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found") +
           "\r\nContent-Type: " + type + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nCache-Control: no-store\r\nConnection: close\r\n" + extra + "\r\n" + body;
}

}  // namespace

struct SelfTestSite::State {
    std::string movie;
    std::string session;
    SocketHandle web = kInvalidSocket;
    SocketHandle game = kInvalidSocket;
    std::uint16_t webPort = 0;
    std::uint16_t gamePort = 0;
    SocketHandle wakeWait = kInvalidSocket;
    SocketHandle wakeRaise = kInvalidSocket;
    std::thread thread;
    bool socketsStarted = false;

    mutable std::mutex mutex;
    bool stopping = false;
    std::map<std::string, std::string> seen;

    struct Client {
        SocketHandle socket;
        bool game;
        std::string in;
        std::string out;
        bool closeAfterOut = false;
    };
    std::vector<Client> clients;

    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(webPort); }

    void Note(const std::string& what, const std::string& detail) {
        const std::lock_guard<std::mutex> lock(mutex);
        seen.emplace(what, detail);
    }

    std::string Serve(const std::string& request) {
        const std::size_t space = request.find(' ');
        const std::string target =
            request.substr(space + 1, request.find(' ', space + 1) - space - 1);
        const std::string path = target.substr(0, target.find('?'));
        const std::string query =
            target.find('?') == std::string::npos ? "" : target.substr(target.find('?') + 1);
        const std::string agent = Header(request, "user-agent");
        const bool engine = agent.find("Mozilla") != std::string::npos;
        if (path == "/config") {
            Note("platform configuration", agent);
            const std::string o = Origin();
            return Answer(
                200, "text/xml",
                "<?xml version=\"1.0\" encoding=\"utf-8\"?><platform><url officialUrl=\"" + o +
                    "/site\" rechargeUrl=\"" + o + "/site\" bbsUrl=\"" + o + "/site\" svrUrl=\"" +
                    o + "/site\" minMainPage=\"" + o +
                    "/login\" szVerify=\"/verify\" updateUrl=\"" + o +
                    "/update.ini?t=\" AdobeFlashUrl=\"" + o + "/site\"/></platform>");
        }
        if (path == "/update.ini") {
            Note("update description", agent);
            // Version 0: no launcher is older, so nothing is offered.
            return Answer(200, "text/plain", "[update]\r\nversionNum=0\r\n");
        }
        if (path == "/login") {
            Note("login page", agent);
            return Answer(
                200, "text/html; charset=utf-8", kLoginPage,
                "Set-Cookie: tavrin_self_test=" + session + "; Path=/; HttpOnly; SameSite=Lax\r\n");
        }
        if (path == "/seen") {
            const std::size_t equals = query.find('=');
            Note("page: " + query.substr(0, equals),
                 equals == std::string::npos ? "" : UrlDecode(query.substr(equals + 1)));
            return Answer(404, "text/plain", {});
        }
        if (path == "/verify") {
            const bool withSession =
                Header(request, "cookie").find("tavrin_self_test=" + session) != std::string::npos;
            Note(engine ? "verification" : withSession ? "session" : "no session", agent);
            return Answer(200, "text/xml", ClientConfiguration(withSession));
        }
        if (path == "/movie.swf" && !movie.empty()) {
            Note("movie", agent);
            return Answer(200, "application/x-shockwave-flash", movie);
        }
        return Answer(404, "text/plain", {});
    }

    std::string ClientConfiguration(bool open) const {
        const std::string server = "127.0.0.1:" + std::to_string(gamePort);
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?><config><clientConfig mainFlash=\"" +
               Origin() + "/movie.swf\" flashVars=\"server%3D" + server +
               "\" title=\"%E8%87%AA%E6%A3%80\" isOpen=\"" + (open ? "1" : "0") +
               "\" errorPage=\"" + Origin() + "/site\" area_url=\"" + Origin() +
               "/login\" sockets=\"" + server + "\"/></config>";
    }

    // The movie's lines: each is noted by its first word and sent back.
    void GameLines(Client& client) {
        std::size_t end;
        while ((end = client.in.find('\n')) != std::string::npos) {
            const std::string line = client.in.substr(0, end);
            client.in.erase(0, end + 1);
            const std::size_t space = line.find(' ');
            Note("game: " + line.substr(0, space),
                 space == std::string::npos ? "" : line.substr(space + 1));
            client.out += line + "\n";
        }
    }

    void Read(Client& client) {
        char buffer[4096];
        const long got = ReceiveNow(client.socket, buffer, sizeof buffer);
        if (got == kWouldBlock) {
            return;
        }
        if (got <= 0 || client.in.size() + static_cast<std::size_t>(got) > kMaxRequestBytes) {
            client.closeAfterOut = true;
            client.out.clear();
            return;
        }
        client.in.append(buffer, static_cast<std::size_t>(got));
        if (client.game) {
            GameLines(client);
        } else if (client.in.find("\r\n\r\n") != std::string::npos && client.out.empty()) {
            client.out = Serve(client.in);
            client.closeAfterOut = true;
        }
    }

    void Run() {
        for (;;) {
            std::vector<PollEntry> entries = {{wakeWait, true}, {web, true}, {game, true}};
            for (const Client& c : clients) {
                entries.push_back({c.socket, true, !c.out.empty()});
            }
            if (PollSockets(entries.data(), entries.size(), 1000) < 0) {
                return;
            }
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (stopping) {
                    return;
                }
            }
            for (std::size_t i = 0; i < clients.size(); ++i) {
                Client& c = clients[i];
                if (entries[i + 3].readable) {
                    Read(c);
                }
                if (entries[i + 3].writable && !c.out.empty()) {
                    const long sent =
                        SendNow(c.socket, c.out.data(), static_cast<long>(c.out.size()));
                    if (sent > 0) {
                        c.out.erase(0, static_cast<std::size_t>(sent));
                    } else if (sent != kWouldBlock) {
                        c.out.clear();
                        c.closeAfterOut = true;
                    }
                }
            }
            std::erase_if(clients, [](const Client& c) {
                const bool done = c.closeAfterOut && c.out.empty();
                if (done) {
                    CloseSocket(c.socket);
                }
                return done;
            });
            Accept(web, entries[1].readable, false);
            Accept(game, entries[2].readable, true);
        }
    }

    void Accept(SocketHandle listener, bool ready, bool isGame) {
        if (!ready) {
            return;
        }
        const SocketHandle s = AcceptConnection(listener);
        if (s == kInvalidSocket) {
            return;
        }
        if (clients.size() >= kMaxClients) {
            CloseSocket(s);
            return;
        }
        if (isGame) {
            Note("game: connected", {});
        }
        clients.push_back({s, isGame, {}, {}, false});
    }
};

SelfTestSite::SelfTestSite(std::string movie) : m_state(std::make_shared<State>()) {
    m_state->movie = std::move(movie);
}

SelfTestSite::~SelfTestSite() {
    State& s = *m_state;
    if (s.thread.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(s.mutex);
            s.stopping = true;
        }
        SendNow(s.wakeRaise, "x", 1);
        s.thread.join();
    }
    for (const State::Client& c : s.clients) {
        CloseSocket(c.socket);
    }
    for (const SocketHandle h : {s.web, s.game, s.wakeWait, s.wakeRaise}) {
        if (h != kInvalidSocket) {
            CloseSocket(h);
        }
    }
    if (s.socketsStarted) {
        SocketCleanup();
    }
}

bool SelfTestSite::Start() {
    State& s = *m_state;
    s.socketsStarted = SocketStartup() == 0;
    s.session = std::to_string(std::random_device{}()) + std::to_string(std::random_device{}());
    s.web = ListenOnLoopback(s.webPort);
    s.game = ListenOnLoopback(s.gamePort);
    if (s.web == kInvalidSocket || s.game == kInvalidSocket ||
        !MakeWakePair(s.wakeWait, s.wakeRaise)) {
        Diagnose("self-test: cannot listen on the loopback interface (error %d)",
                 GetLastSocketError());
        return false;
    }
    s.thread = std::thread([state = m_state] { state->Run(); });
    return true;
}

std::string SelfTestSite::Origin() const {
    return m_state->Origin();
}

std::uint16_t SelfTestSite::GamePort() const {
    return m_state->gamePort;
}

bool SelfTestSite::Seen(const std::string& what, std::string* detail) const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    const auto found = m_state->seen.find(what);
    if (found == m_state->seen.end()) {
        return false;
    }
    if (detail != nullptr) {
        *detail = found->second;
    }
    return true;
}

}  // namespace tavrin
