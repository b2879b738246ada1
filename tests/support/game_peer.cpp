#include "support/game_peer.h"

#include <chrono>

#include "net/socket_transport.h"
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
