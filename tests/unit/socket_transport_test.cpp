#include "net/socket_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "support/loopback_socket.h"
#include "support/tcp_peer.h"

namespace tavrin {
namespace {

using test::TcpPeer;

constexpr int kWaitMs = 2000;

class SocketTransport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(SocketStartup(), 0); }
    void TearDown() override {
        if (m_reader != nullptr) {
            FreeSocketReader(m_reader);
        }
        CloseSocket(m_socket);
        SocketCleanup();
    }

    // Connects to the peer and makes a reader for the connection.
    void ConnectTo(const TcpPeer& peer) {
        m_socket = CreateTcpSocket();
        ASSERT_NE(m_socket, kInvalidSocket);
        ASSERT_EQ(ConnectToHost(m_socket, "127.0.0.1", peer.Port(), kWaitMs, true), 0)
            << GetLastSocketError();
        m_reader = CreateSocketReader(m_socket);
        ASSERT_NE(m_reader, nullptr);
    }

    SocketHandle m_socket = kInvalidSocket;
    SocketReader* m_reader = nullptr;
};

TEST_F(SocketTransport, DottedAddressesNeedNoLookup) {
    EXPECT_EQ(ResolveHostAddress("127.0.0.1", true), 0x0100007Fu);  // network byte order
    EXPECT_EQ(ResolveHostAddress("10.1.2.3", false), 0x0302010Au);
}

TEST_F(SocketTransport, NamesThatDoNotResolveGiveNoAddressAndNoConnection) {
    // ".invalid" never resolves anywhere.
    EXPECT_EQ(ResolveHostAddress("tavrin-test.invalid", true), kNoAddress);
    m_socket = CreateTcpSocket();
    EXPECT_EQ(ConnectToHost(m_socket, "tavrin-test.invalid", 80, kWaitMs, true), -1);
}

TEST_F(SocketTransport, ARefusedConnectionFailsWithItsError) {
    std::uint16_t port = 0;
    {
        TcpPeer gone({});
        port = gone.Port();
    }
    m_socket = CreateTcpSocket();
    EXPECT_EQ(ConnectToHost(m_socket, "127.0.0.1", port, kWaitMs, true), -1);
    EXPECT_NE(GetLastSocketError(), 0);
}

TEST_F(SocketTransport, LinesEndAtLineFeedsWithOrWithoutCarriageReturn) {
    TcpPeer peer({"HTTP/1.1 200 OK\r\nServer: x\n\r\nbody"});
    ConnectTo(peer);
    char line[kReaderLineSize];
    int status = 9;
    const char* expected[] = {"HTTP/1.1 200 OK", "Server: x", ""};
    for (const char* text : expected) {
        ASSERT_EQ(ReaderReadLine(m_reader, line, status, kWaitMs), 0);
        EXPECT_STREQ(line, text);
        EXPECT_EQ(status, 0);
    }
    char chunk[kReaderSize];
    ASSERT_EQ(ReaderReadChunk(m_reader, kWaitMs, chunk), 4);
    EXPECT_EQ(std::string(chunk, 4), "body");
    // The peer has closed: nothing more.
    EXPECT_EQ(ReaderReadChunk(m_reader, kWaitMs, chunk), 0);
    EXPECT_EQ(ReaderReadLine(m_reader, line, status, kWaitMs), -1);
    EXPECT_EQ(status, -1);
}

TEST_F(SocketTransport, LongLinesComeInPiecesOf1023Bytes) {
    TcpPeer peer({std::string(1500, 'a') + "\r\n"});
    ConnectTo(peer);
    char line[kReaderLineSize];
    int status = 9;
    ASSERT_EQ(ReaderReadLine(m_reader, line, status, kWaitMs), 0);
    EXPECT_EQ(std::strlen(line), 1023u);
    EXPECT_EQ(status, 1);
    ASSERT_EQ(ReaderReadLine(m_reader, line, status, kWaitMs), 0);
    EXPECT_EQ(std::strlen(line), 477u);
    EXPECT_EQ(status, 0);
}

TEST_F(SocketTransport, ChunksNeverExceedTheRingAndKeepEveryByte) {
    std::string body(50000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 7 + 3);
    }
    TcpPeer peer({body});
    ConnectTo(peer);
    std::string got;
    auto chunk = std::make_unique<char[]>(kReaderSize);
    // A byte first, so that the ring's positions wrap later on.
    const int first = ReaderGetByte(m_reader, kWaitMs);
    ASSERT_LT(first, 256);
    got += static_cast<char>(first);
    for (int n; (n = ReaderReadChunk(m_reader, kWaitMs, chunk.get())) > 0;) {
        EXPECT_LE(n, kReaderSize);
        got.append(chunk.get(), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, body);
    EXPECT_EQ(ReaderGetByte(m_reader, kWaitMs), 256);
}

TEST_F(SocketTransport, ASilentPeerEndsAReadAfterOneTimeOut) {
    TcpPeer peer({"", false});
    ConnectTo(peer);
    char line[kReaderLineSize];
    int status = 9;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReaderReadLine(m_reader, line, status, 300), -1);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(status, -1);
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(3));
}

// The downloader tells a timed-out wait from other failures by its error, on every system.
TEST_F(SocketTransport, TimedOutWaitsLeaveTheTimedOutError) {
    std::uint16_t port = 0;
    const test::SocketHandle listener = test::ListenOnLoopback(port);
    m_socket = CreateTcpSocket();
    ASSERT_EQ(ConnectToHost(m_socket, "127.0.0.1", port, kWaitMs, false), 0);
    const test::SocketHandle silent = test::AcceptConnection(listener);  // never reads
    char byte = 0;
    EXPECT_EQ(RecvWithTimeout(m_socket, &byte, 1, 200), -1);
    EXPECT_EQ(GetLastSocketError(), SocketTimedOutError());
    const std::string data(64 * 1024 * 1024, 'x');
    EXPECT_LT(SendAll(m_socket, data.data(), static_cast<long>(data.size()), 300),
              static_cast<long>(data.size()));
    EXPECT_EQ(GetLastSocketError(), SocketTimedOutError());
    test::CloseSocket(silent);
    test::CloseSocket(listener);
}

TEST_F(SocketTransport, SendAllDeliversEverything) {
    TcpPeer peer({"", true, true});
    m_socket = CreateTcpSocket();
    ASSERT_EQ(ConnectToHost(m_socket, "127.0.0.1", peer.Port(), kWaitMs, false), 0);
    const std::string data(3 * 1024 * 1024, 'x');
    EXPECT_EQ(SendAll(m_socket, data.data(), static_cast<long>(data.size()), kWaitMs),
              static_cast<long>(data.size()));
    CloseSocket(m_socket);
    m_socket = kInvalidSocket;
    for (int i = 0; i < 200 && peer.Received().size() < data.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(peer.Received().size(), data.size());
}

TEST_F(SocketTransport, NoReaderWithoutASocket) {
    EXPECT_EQ(CreateSocketReader(kInvalidSocket), nullptr);
}

}  // namespace
}  // namespace tavrin
