#include "support/game_peer.h"

#include <chrono>

#include "net/socket_transport.h"
#include "net/websocket.h"
#include "support/loopback_socket.h"

namespace tavrin::test {

namespace {

constexpr std::string_view kPolicyRequest("<policy-file-request/>\0", 23);

}  // namespace

GamePeer::GamePeer(Script script)
    : m_script(std::move(script)),
      m_port(m_script.port),
      m_listener(ListenOnAddress(m_script.address, m_port, 64)) {
    m_thread = std::thread([this] { Run(); });
}

GamePeer::~GamePeer() {
    m_stop = true;
    m_thread.join();
    CloseSocket(m_listener);
}

std::vector<std::string> GamePeer::Received() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

// One thread serves all: connections are few and small in these tests.
void GamePeer::Run() {
    struct Connection {
        SocketHandle socket;
        std::string first;  // until it is known whether this is a policy request
        int index = -1;     // into m_received, once a game connection
    };
    std::vector<Connection> open;
    char buffer[65536];
    while (!m_stop) {
        if (WaitReadable(m_listener, 5)) {
            const SocketHandle s = AcceptConnection(m_listener, Blocking::No);
            if (s != kNoSocket) {
                open.push_back({s, {}, -1});
                if (!m_script.greeting.empty() || m_script.policy.empty()) {
                    // Nothing to wait for: a game connection from the start.
                    std::lock_guard<std::mutex> lock(m_mutex);
                    open.back().index = static_cast<int>(m_received.size());
                    m_received.emplace_back();
                    SendAll(s, m_script.greeting);
                }
            }
        }
        for (Connection& c : open) {
            if (c.socket == kNoSocket || (!m_script.reads && c.index >= 0)) {
                continue;
            }
            const long n = ReceiveSome(c.socket, buffer, sizeof buffer);
            if (n < 0 && WouldBlock()) {
                continue;
            }
            if (n <= 0) {
                CloseSocket(c.socket);
                c.socket = kNoSocket;
                continue;
            }
            const std::string_view got(buffer, static_cast<std::size_t>(n));
            if (c.index < 0) {
                c.first.append(got);
                if (kPolicyRequest.substr(0, c.first.size()) == c.first.substr(0, 23)) {
                    if (c.first.size() < kPolicyRequest.size()) {
                        continue;
                    }
                    ++m_policyRequests;
                    std::this_thread::sleep_for(std::chrono::milliseconds(m_script.policyDelayMs));
                    SendAll(c.socket, m_script.policy + std::string(1, '\0'));
                    CloseSocket(c.socket);
                    c.socket = kNoSocket;
                    continue;
                }
                std::lock_guard<std::mutex> lock(m_mutex);
                c.index = static_cast<int>(m_received.size());
                m_received.push_back(c.first);
                continue;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received[static_cast<std::size_t>(c.index)].append(got);
        }
    }
    for (const Connection& c : open) {
        CloseSocket(c.socket);
    }
}

WebSocketClient::~WebSocketClient() {
    Close();
}

bool WebSocketClient::Open(const std::string& url, const std::string& origin) {
    // ws://127.0.0.1:PORT/PATH
    const std::size_t hostStart = url.find("://") + 3;
    const std::size_t colon = url.find(':', hostStart);
    const std::size_t slash = url.find('/', hostStart);
    if (colon == std::string::npos || slash == std::string::npos) {
        return false;
    }
    const auto port = static_cast<std::uint16_t>(std::stoi(url.substr(colon + 1, slash - colon)));
    m_socket = CreateTcpSocket();
    if (::tavrin::ConnectToHost(m_socket, "127.0.0.1", port, 5000, false) != 0) {
        return false;
    }
    const std::string request =
        "GET " + url.substr(slash) +
        " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
        "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
        "Sec-WebSocket-Version: 13\r\nOrigin: " +
        origin + "\r\n\r\n";
    if (::tavrin::SendAll(m_socket, request.data(), static_cast<long>(request.size()), 5000) !=
        static_cast<long>(request.size())) {
        return false;
    }
    std::string head;
    char c = 0;
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (RecvWithTimeout(m_socket, &c, 1, 5000) != 1) {
            return false;
        }
        head += c;
    }
    return head.rfind("HTTP/1.1 101 ", 0) == 0;
}

bool WebSocketClient::Send(const std::string& bytes, int timeoutMs) {
    const std::string frame =
        EncodeWebSocketFrame(WebSocketOpcode::kBinary, bytes, true, 0x1234abcd);
    return ::tavrin::SendAll(m_socket, frame.data(), static_cast<long>(frame.size()), timeoutMs) ==
           static_cast<long>(frame.size());
}

bool WebSocketClient::ReadSome(int timeoutMs) {
    char buffer[65536];
    const long n = RecvWithTimeout(m_socket, buffer, sizeof buffer, timeoutMs);
    if (n <= 0) {
        if (n == 0 || GetLastSocketError() != SocketTimedOutError()) {
            m_closed = true;
        }
        return false;
    }
    WebSocketFrameReader::Output out;
    m_reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), out);
    m_data += out.data;
    if (out.closed) {
        m_closed = true;
        m_closeCode = out.closeCode;
    }
    return true;
}

std::string WebSocketClient::Receive(std::size_t count, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_data.size() < count && !m_closed && std::chrono::steady_clock::now() < end) {
        ReadSome(50);
    }
    return m_data;
}

int WebSocketClient::AwaitClose(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_closed && std::chrono::steady_clock::now() < end) {
        ReadSome(50);
    }
    return m_closed ? m_closeCode : -2;
}

void WebSocketClient::Close() {
    if (m_socket != -1) {
        ::tavrin::CloseSocket(m_socket);
        m_socket = -1;
    }
}

bool ChannelClient::Open(const std::string& url) {
    m_url = url;
    if (!m_relay.ChannelOpen(url)) {
        return false;
    }
    ReceiveNext(m_relay, m_url, m_shared);
    return true;
}

// Asked again from the relay's thread, which is there as long as the relay is.
void ChannelClient::ReceiveNext(GameRelay& relay, const std::string& url,
                                const std::shared_ptr<Shared>& shared) {
    relay.ChannelReceive(url, [&relay, url, shared](const GameRelay::Received& got) {
        {
            const std::lock_guard<std::mutex> lock(shared->mutex);
            shared->data += got.bytes;
            if (got.closeCode != 0) {
                shared->closeCode = got.closeCode;
            }
            shared->changed.notify_all();
        }
        if (got.closeCode == 0) {
            ReceiveNext(relay, url, shared);
        }
    });
}

bool ChannelClient::Send(const std::string& bytes, int timeoutMs) {
    const int asked = ++m_sendsAsked;
    m_relay.ChannelSend(m_url, bytes, [shared = m_shared](bool taken) {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        ++shared->sends;
        shared->sendTaken = taken;
        shared->changed.notify_all();
    });
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return m_shared->sends >= asked; }) &&
           m_shared->sends == asked && m_shared->sendTaken;
}

std::string ChannelClient::Receive(std::size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_shared->data.size() >= count || m_shared->closeCode != -2;
    });
    return m_shared->data;
}

int ChannelClient::AwaitClose(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return m_shared->closeCode != -2; });
    return m_shared->closeCode;
}

void ChannelClient::Close() {
    m_relay.ChannelClose(m_url);
}

}  // namespace tavrin::test
