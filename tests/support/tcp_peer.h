// A scripted TCP peer for transport tests: accepts one connection on 127.0.0.1 at a random
// port, sends the script's bytes, then closes or stays silent, and keeps what it received.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace tavrin::test {

class TcpPeer {
public:
    struct Script {
        std::string send;             // sent as soon as the connection is accepted
        bool closeAfter = true;       // close after sending, else stay silent until stopped
        bool readEverything = false;  // read until the other side closes (for send tests)
        std::size_t readFirst = 0;    // bytes to receive before sending (a request)
        // Sends the bytes after the first `trickleFrom` one at a time, with this pause after
        // each (a trickling server).
        std::chrono::milliseconds trickle{0};
        std::size_t trickleFrom = 0;
    };

    explicit TcpPeer(Script script);
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string Received() const;

private:
    void Run();

    Script m_script;
    std::uint16_t m_port = 0;
    std::intptr_t m_listener;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::string m_received;
    std::thread m_thread;
};

}  // namespace tavrin::test
