#include "win/movie_player.h"

#include <bcrypt.h>

#include <cstdio>
#include <utility>

#include "app/diagnostics.h"
#include "flow/flash_protocol.h"
#include "game/player_font.h"
#include "game/player_page.h"
#include "platform/memory_status.h"
#include "win/win_text.h"

namespace tavrin::win {

namespace {

// The page's secret: its bridge and font addresses are worth nothing to anyone else.
std::string RandomToken() {
    unsigned char bytes[16] = {};
    BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    std::string token;
    for (const unsigned char b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        token += hex;
    }
    return token;
}

// The configuration's texts are in the system's code page; the page is UTF-8.
std::string Utf8FromConfig(const std::string& text) {
    return Utf8FromWide(WideFromAnsi(text));
}

}  // namespace

std::string PageScript(const wchar_t* name) {
    HRSRC found = FindResourceW(nullptr, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        Diagnose("player: the page script %s is missing from the program",
                 Utf8FromWide(name).c_str());
        return {};
    }
    return std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, found));
}

MoviePlayer::MoviePlayer(WebView& view, Host host)
    : m_view(view), m_host(std::move(host)), m_strToken(RandomToken()) {
    m_view.onPageMessage = [this](const std::string& json, WebView::Answer answer) {
        OnPageMessage(json, answer);
    };
}

MoviePlayer::~MoviePlayer() {
    m_view.onPageMessage = nullptr;
    m_relay.reset();
}

void MoviePlayer::Play(const ClientConfigData& config) {
    PlayerPageSetup setup;
    setup.movie = Utf8FromConfig(config.mainFlash);
    // As the game window puts them on the Flash control.
    setup.options = {"high",     "sameDomain", true,
                     "window",   false,        Utf8FromConfig(config.flashVars),
                     m_bConsole, true};
    const PlayerAddresses addresses = m_view.AddressesFor(m_strToken);
    setup.files = addresses.files;
    setup.scriptOrigin = addresses.scriptOrigin;
    setup.bridge = addresses.bridge;
    setup.channel = addresses.channel;
    const PlayerFont& font = GetPlayerFont();
    if (!font.bytes.empty()) {
        setup.fontUrl = addresses.fontUrl;
        setup.fontFamilies = font.families;
    }
    // A relay for each movie: its game servers are the listed ones and those that let the
    // movie in by policy on the hosts it may name.
    std::vector<std::string> rejected;
    m_relay.reset();
    m_relay = std::make_unique<GameRelay>(ParseSocketList(config.sockets, &rejected),
                                          PolicyHostsFor(setup.movie, setup.options.flashVars));
    for (const std::string& entry : rejected) {
        Diagnose("client configuration: \"%s\" is not a game server (host:port)", entry.c_str());
    }
    m_relay->SetMovie(setup.movie);
    if (m_host.socketSettled) {
        // From the relay's threads; the relay stops before the mailbox goes.
        m_relay->SetObserver([this](const GameRelay::Answer& answer) {
            m_mailbox.Post([this, answer] { m_host.socketSettled(answer); });
        });
    }
    if (m_relay->Start()) {
        setup.proxies = m_relay->Proxies();
    } else {
        m_relay.reset();
    }
    setup.nonce = RandomToken();
    setup.pageScript = PageScript(L"SCRIPT_FLASH_PAGE");
    m_strPage = BuildPlayerPage(setup);
    m_view.ShowPlayerPage(setup.movie, m_strPage);
}

void MoviePlayer::NotifyFlashFunction(const std::string& name) {
    m_view.RunScript(CallFunctionScript(BuildFlashRequest(name, {})));
}

void MoviePlayer::OnPageMessage(const std::string& json, const WebView::Answer& answer) {
    const PageMessage message = ParsePageMessage(json);
    Answer(message, answer);
    if (m_host.watch) {
        m_host.watch(message);
    }
}

void MoviePlayer::Answer(const PageMessage& message, const WebView::Answer& answer) {
    if (message.kind == "flashcall") {
        // The one call the launcher answers; the rest get no reply, as they did.
        std::string reply;
        if (FlashRequestName(message.request) == "GetSysMem") {
            platform::MemoryStatus memory;
            platform::ReadMemoryStatus(memory);
            reply = FormatSysMemReply(memory.totalBytes, memory.availableBytes);
        }
        answer(reply);
        return;
    }
    if (message.kind == "socket") {
        OnSocket(message.url, answer);
        return;
    }
    if (message.kind == "relay") {
        if (!m_relay) {
            answer(R"({"ok":false,"closed":1011})");
            return;
        }
        // Answers come from the relay's thread too; the relay stops before the mailbox goes.
        AnswerRelayMessage(*m_relay, message, [this, answer](const std::string& reply) {
            m_mailbox.Post([answer, reply] { answer(reply); });
        });
        return;
    }
    answer({});
    if (message.kind == "fscommand" && message.command == "GameRefresh" && m_host.refresh) {
        // Not from inside the page's handler: the refresh replaces this window.
        m_mailbox.Post(m_host.refresh);
    } else if (message.kind == "navigate" && m_host.openInBrowser) {
        // Not from inside the page's request: opening a browser takes its time.
        m_mailbox.Post([this, url = message.url] { m_host.openInBrowser(url); });
    } else if (message.kind == "started") {
        const PageMessage::Movie& movie = message.movie;
        Diagnose("player: the movie started (SWF %d, %s, %gx%g, %g frames a second)",
                 movie.swfVersion, movie.actionScript3 ? "ActionScript 3" : "ActionScript 1/2",
                 movie.width, movie.height, movie.frameRate);
    } else if (message.kind == "failed") {
        Diagnose("player: %s %s", message.reason.c_str(), message.detail.c_str());
    } else if (message.kind == "console" && message.level == "error") {
        // This engine tells its host nothing of the page's console: the page sends it.
        Diagnose("player: %s", message.detail.c_str());
    } else if (message.kind == "console") {
        DiagnoseDetail("player: %s", message.detail.c_str());
    }
}

void MoviePlayer::OnSocket(const std::string& proxyUrl, const WebView::Answer& answer) {
    if (!m_relay) {
        Diagnose("socket bridge: no connection for the movie: the game has no game servers");
        answer(SocketAnswer({}, "the game has no game servers"));
        return;
    }
    // The relay answers from its threads, and never after it has stopped, which is before
    // the mailbox goes.
    m_relay->Connect(proxyUrl, [this, answer](const GameRelay::Answer& outcome) {
        const std::string reply = SocketAnswer(outcome);
        m_mailbox.Post([answer, reply, detail = outcome.detail] {
            if (reply.find("\"url\"") == std::string::npos) {
                Diagnose("socket bridge: no connection for the movie: %s", detail.c_str());
            }
            answer(reply);
        });
    });
}

}  // namespace tavrin::win
