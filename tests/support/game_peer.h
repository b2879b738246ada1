// Test peers for the game relay: a game server that takes any number of connections and can
// answer the Flash player's socket policy request on its own port, and the player page's
// side of a connection through the relay's channel.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "game/game_relay.h"

namespace tavrin::test {

class GamePeer {
public:
    struct Script {
        std::string greeting;  // sent on every game connection at once
        std::string policy;    // answered (with its zero byte) to a policy request; "" none
        int policyDelayMs = 0;
        bool reads = true;  // false: takes nothing of what it is sent
        const char* address = "127.0.0.1";
        std::uint16_t port = 0;  // 0: one the system picks
    };
    explicit GamePeer(Script script);
    ~GamePeer();
    GamePeer(const GamePeer&) = delete;
    GamePeer& operator=(const GamePeer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // What each game connection received, in the order they came; policy requests apart.
    std::vector<std::string> Received() const;
    int PolicyRequests() const { return m_policyRequests; }

private:
    void Run();

    Script m_script;
    std::uint16_t m_port = 0;
    std::intptr_t m_listener;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_policyRequests{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_received;
    std::thread m_thread;
};

// The page's side of a connection through the relay's channel, as the player page uses it
// (one send at a time, a receive always waiting), in blocking calls with time-outs. The
// relay must outlive the calls, not the client.
class ChannelClient {
public:
    explicit ChannelClient(GameRelay& relay) : m_relay(relay) {}
    // Claims the answer's address; true when the relay took it.
    bool Open(const std::string& url);
    // False when the relay did not take the bytes within timeoutMs (they still wait in it, and
    // the next send is refused until it does) or the connection is over.
    bool Send(const std::string& bytes, int timeoutMs = 5000);
    // What came, once `count` bytes have (or the time is up).
    std::string Receive(std::size_t count, int timeoutMs = 5000);
    // The close code, once the relay has ended the connection; -2 if it has not in time.
    int AwaitClose(int timeoutMs = 5000);
    void Close();

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::string data;
        int closeCode = -2;
        int sends = 0;  // answered
        bool sendTaken = false;
    };
    static void ReceiveNext(GameRelay& relay, const std::string& url,
                            const std::shared_ptr<Shared>& shared);

    GameRelay& m_relay;
    std::string m_url;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    int m_sendsAsked = 0;
};

}  // namespace tavrin::test
