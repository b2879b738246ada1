#include "support/tcp_peer.h"

#include "support/loopback_socket.h"

namespace tavrin::test {

TcpPeer::TcpPeer(Script script)
    : m_script(std::move(script)), m_listener(ListenOnLoopback(m_port)) {
    m_thread = std::thread([this] { Run(); });
}

TcpPeer::~TcpPeer() {
    m_stop = true;
    m_thread.join();
    CloseSocket(m_listener);
}

std::string TcpPeer::Received() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

void TcpPeer::Run() {
    while (!m_stop && !WaitReadable(m_listener, 20)) {
    }
    if (m_stop) {
        return;
    }
    const SocketHandle connection = AcceptConnection(m_listener);
    if (connection == kNoSocket) {
        return;
    }
    char buffer[65536];
    while (!m_stop && Received().size() < m_script.readFirst) {
        if (!WaitReadable(connection, 20)) {
            continue;
        }
        const long n = ReceiveSome(connection, buffer, m_script.readFirst - Received().size());
        if (n <= 0) {
            break;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t atOnce =
        m_script.trickle.count() == 0 ? m_script.send.size() : m_script.trickleFrom;
    SendAll(connection, m_script.send.substr(0, atOnce));
    for (std::size_t i = atOnce; i < m_script.send.size() && !m_stop; ++i) {
        SendAll(connection, m_script.send.substr(i, 1));
        std::this_thread::sleep_for(m_script.trickle);
    }
    while (!m_stop && (m_script.readEverything || !m_script.closeAfter)) {
        if (!WaitReadable(connection, 20)) {
            continue;
        }
        const long n = ReceiveSome(connection, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.append(buffer, static_cast<std::size_t>(n));
    }
    CloseSocket(connection);
}

}  // namespace tavrin::test
