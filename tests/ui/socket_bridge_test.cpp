// The game relay as the player uses it through the bridge, against real sockets on loopback:
// Qt's WebSocket client stands in for the page (a second implementation of the protocol
// against the relay's own), a QTcpServer for the game server.
#include "ui/socket_bridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

#include "ui_support.h"

namespace tavrin::ui {
namespace {

using test::WaitFor;

const QUrl kPage(QStringLiteral("http://127.0.0.1:8080/game/arena.swf"));

// A game server: keeps its connections and what each received.
struct GameServer {
    GameServer() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                peers.push_back(s);
                received.emplace_back();
                const std::size_t i = received.size() - 1;
                if (!greeting.isEmpty()) {
                    s->write(greeting);
                }
                if (!reads) {
                    s->setReadBufferSize(4096);  // a full buffer stops the reading
                } else {
                    QObject::connect(s, &QTcpSocket::readyRead,
                                     [this, s, i] { received[i] += s->readAll(); });
                }
            }
        });
    }
    SocketEndpoint Endpoint() const { return {"127.0.0.1", server.serverPort()}; }

    QTcpServer server;
    QByteArray greeting;
    bool reads = true;
    std::vector<QTcpSocket*> peers;
    std::vector<QByteArray> received;
};

// The page's side of one connection.
struct MovieSocket {
    explicit MovieSocket(const QString& origin = kPage.toString()) : ws(origin) {
        QObject::connect(&ws, &QWebSocket::binaryMessageReceived,
                         [this](const QByteArray& data) { received += data; });
    }
    bool Open(const QString& url) {
        ws.open(QUrl(url));
        return WaitFor([this] { return ws.state() != QAbstractSocket::ConnectingState; }) &&
               ws.state() == QAbstractSocket::ConnectedState;
    }
    QWebSocket ws;
    QByteArray received;
};

QByteArray AllByteValues(int repeat) {
    QByteArray bytes;
    for (int r = 0; r < repeat; ++r) {
        for (int b = 0; b < 256; ++b) {
            bytes.append(static_cast<char>(b));
        }
    }
    return bytes;
}

class SocketBridge : public ::testing::Test {
protected:
    void Start(std::vector<SocketEndpoint> endpoints) {
        m_bridge =
            std::make_unique<CSocketBridge>(std::move(endpoints), std::vector<std::string>());
        m_bridge->m_limits = m_limits;
        ASSERT_TRUE(m_bridge->Listen(kPage.toString()));
    }
    QString ProxyUrl(std::size_t index) const {
        return QString::fromStdString(m_bridge->Proxies().at(index).url);
    }
    QString Connect(std::size_t index = 0) { return ConnectTo(ProxyUrl(index)); }
    QString ConnectTo(const QString& proxyUrl) {
        bool done = false;
        QString url;
        m_bridge->Connect(proxyUrl, [&](const QString& answer, const QString& error) {
            url = answer;
            m_error = error;
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return done; }));
        return url;
    }

    GameServer m_server;
    GameRelay::Limits m_limits;
    std::unique_ptr<CSocketBridge> m_bridge;
    QString m_error;
};

TEST_F(SocketBridge, CarriesEveryByteBothWaysAndWhatTheServerSaidFirst) {
    m_server.greeting = QByteArray("hello\0there", 11);
    Start({m_server.Endpoint()});
    MovieSocket movie;
    ASSERT_TRUE(movie.Open(Connect())) << m_error.toStdString();
    ASSERT_TRUE(WaitFor([&] { return movie.received == m_server.greeting; }));
    const QByteArray up = AllByteValues(4096);  // 1 MiB in one message
    movie.ws.sendBinaryMessage(up);
    ASSERT_TRUE(WaitFor([&] { return m_server.received[0].size() >= up.size(); }));
    EXPECT_EQ(m_server.received[0], up);
    const QByteArray down = AllByteValues(8192);
    m_server.peers[0]->write(down);
    ASSERT_TRUE(WaitFor([&] { return movie.received.size() >= 11 + down.size(); }));
    EXPECT_EQ(movie.received.mid(11), down);
    EXPECT_EQ(m_bridge->OpenConnections(), 1);
}

TEST_F(SocketBridge, OnlyListedServersThatAnswerGetATicket) {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 refusing = closed.serverPort();
    closed.close();
    m_limits.quickAnswerMs = 10000;  // the failures themselves, not a page gone on meanwhile
    Start({{"127.0.0.1", refusing}, {"no-such-host.invalid", 80}});
    EXPECT_TRUE(Connect(0).isEmpty());
    EXPECT_FALSE(m_error.isEmpty());
    EXPECT_TRUE(Connect(1).isEmpty());
    // Addresses the bridge never gave out.
    const QString first = ProxyUrl(0);
    for (const QString& url :
         {first.left(first.size() - 1) + QStringLiteral("2"),
          QStringLiteral("ws://127.0.0.1:1/x/e/0"), first + QStringLiteral("0")}) {
        EXPECT_TRUE(ConnectTo(url).isEmpty()) << url.toStdString();
        EXPECT_EQ(m_error, QStringLiteral("not a game server of this game"));
    }
}

TEST_F(SocketBridge, RefusesWebSocketsWithoutAFreshTicketOrFromAnotherOrigin) {
    Start({m_server.Endpoint()});
    const QString url = Connect();
    ASSERT_FALSE(url.isEmpty());
    const QString guessed = url.left(url.lastIndexOf('/') + 1) + QStringLiteral("0123456789abcdef");
    const struct {
        QString origin;
        QString url;
    } cases[] = {
        {QStringLiteral("http://127.0.0.1:8081"), url},  // another port is another origin
        {QStringLiteral("http://evil.example"), url},
        {kPage.toString(), guessed},
        {kPage.toString(), url.section('/', 0, 2) + QStringLiteral("/t/") + url.section('/', -1)},
    };
    for (const auto& c : cases) {
        MovieSocket movie(c.origin);
        movie.Open(c.url);
        EXPECT_TRUE(WaitFor([&] { return movie.ws.state() == QAbstractSocket::UnconnectedState; }))
            << c.origin.toStdString() << " " << c.url.toStdString();
    }
    // The real ticket still works once, and only once.
    MovieSocket first;
    ASSERT_TRUE(first.Open(url));
    MovieSocket second;
    second.Open(url);
    EXPECT_TRUE(WaitFor([&] { return second.ws.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(m_bridge->OpenConnections(), 1);
}

TEST_F(SocketBridge, AnUnclaimedTicketExpiresAndItsServerConnectionEnds) {
    m_limits.unclaimedTicketMs = 300;
    Start({m_server.Endpoint()});
    const QString url = Connect();
    ASSERT_FALSE(url.isEmpty());
    ASSERT_TRUE(WaitFor([&] { return m_server.peers.size() == 1; }));
    bool serverSawTheEnd = false;
    QObject::connect(m_server.peers[0], &QTcpSocket::disconnected, [&] { serverSawTheEnd = true; });
    EXPECT_TRUE(WaitFor([&] { return serverSawTheEnd; }, std::chrono::seconds(5)));
    MovieSocket late;
    late.Open(url);
    EXPECT_TRUE(WaitFor([&] { return late.ws.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(m_bridge->OpenConnections(), 0);
}

TEST_F(SocketBridge, EitherSideClosingClosesTheOtherAfterTheLastBytes) {
    Start({m_server.Endpoint()});
    MovieSocket movie;
    ASSERT_TRUE(movie.Open(Connect()));
    ASSERT_TRUE(WaitFor([&] { return m_server.peers.size() == 1; }));
    m_server.peers[0]->write("bye");
    m_server.peers[0]->disconnectFromHost();
    ASSERT_TRUE(WaitFor([&] { return movie.ws.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(movie.received, QByteArray("bye"));

    MovieSocket again;
    ASSERT_TRUE(again.Open(Connect()));
    ASSERT_TRUE(WaitFor([&] { return m_server.peers.size() == 2; }));
    QTcpSocket* peer = m_server.peers[1];
    bool serverSawTheEnd = false;
    QObject::connect(peer, &QTcpSocket::disconnected, [&] { serverSawTheEnd = true; });
    again.ws.sendBinaryMessage("last words");
    again.ws.close();
    ASSERT_TRUE(WaitFor([&] { return serverSawTheEnd; }));
    EXPECT_EQ(m_server.received[1], QByteArray("last words"));
    EXPECT_TRUE(WaitFor([&] { return m_bridge->OpenConnections() == 0; }));
}

TEST_F(SocketBridge, AServerThatDoesNotReadEndsTheConnectionInsteadOfFillingMemory) {
    m_server.reads = false;
    m_limits.pendingToServer = 256 * 1024;
    Start({m_server.Endpoint()});
    MovieSocket movie;
    ASSERT_TRUE(movie.Open(Connect()));
    const QByteArray block(64 * 1024, 'x');
    int sent = 0;
    ASSERT_TRUE(WaitFor([&] {
        if (movie.ws.state() == QAbstractSocket::ConnectedState && sent < 1000) {
            movie.ws.sendBinaryMessage(block);
            ++sent;
        }
        return movie.ws.state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_EQ(movie.ws.closeCode(), QWebSocketProtocol::CloseCodeTooMuchData);
    EXPECT_LT(sent, 1000);
}

TEST_F(SocketBridge, AFloodFromTheServerWaitsInItsOwnBuffersWhileTheMovieIsBehind) {
    m_limits.pendingToMovie = 64 * 1024;
    Start({m_server.Endpoint()});
    // A page that stopped reading: a bare connection that asks for the WebSocket and then
    // takes nothing more.
    const QUrl url(Connect());
    QTcpSocket stalled;
    stalled.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(url.port()));
    ASSERT_TRUE(WaitFor([&] { return stalled.state() == QAbstractSocket::ConnectedState; }));
    stalled.setReadBufferSize(1);
    stalled.write("GET " + url.path().toLatin1() +
                  " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
                  "Origin: " +
                  kPage.toString(QUrl::RemovePath).toLatin1() + "\r\n\r\n");
    ASSERT_TRUE(WaitFor([&] { return m_bridge->OpenConnections() == 1; }));
    QTcpSocket* server = m_server.peers[0];
    const QByteArray block(256 * 1024, 'f');
    qint64 offered = 0;
    qint64 mostHeld = 0;
    // Writes only when the server's own buffer has drained into the kernel.
    test::Pump(std::chrono::milliseconds(100));
    for (int i = 0; i < 200; ++i) {
        if (server->bytesToWrite() == 0) {
            server->write(block);
            offered += block.size();
        }
        test::Pump(std::chrono::milliseconds(10));
        mostHeld = std::max(mostHeld, m_bridge->HeldForMovies());
    }
    // What the bridge itself holds stays within its limit: the limit in the socket's read
    // buffer, below it in the WebSocket's, and the one piece that crossed it. The rest of the
    // flood waits in the kernel and in the server.
    EXPECT_GT(mostHeld, 0);
    EXPECT_LE(mostHeld, 2 * m_bridge->m_limits.pendingToMovie + 64 * 1024);
    EXPECT_GT(server->bytesToWrite(), 0);
}

TEST_F(SocketBridge, ManySocketsAtOnceEachKeepTheirOwnBytes) {
    Start({m_server.Endpoint()});
    constexpr int kSockets = 8;
    std::vector<std::unique_ptr<MovieSocket>> movies;
    for (int i = 0; i < kSockets; ++i) {
        movies.push_back(std::make_unique<MovieSocket>());
        ASSERT_TRUE(movies.back()->Open(Connect())) << i;
    }
    for (int i = 0; i < kSockets; ++i) {
        movies[i]->ws.sendBinaryMessage(QByteArray("movie ") + QByteArray::number(i));
    }
    ASSERT_TRUE(WaitFor([&] {
        return std::all_of(m_server.received.begin(), m_server.received.end(),
                           [](const QByteArray& r) { return !r.isEmpty(); }) &&
               m_server.received.size() == kSockets;
    }));
    for (std::size_t i = 0; i < m_server.peers.size(); ++i) {
        m_server.peers[i]->write("back to " + m_server.received[i]);
    }
    ASSERT_TRUE(WaitFor([&] {
        return std::all_of(movies.begin(), movies.end(),
                           [](const auto& m) { return !m->received.isEmpty(); });
    }));
    for (int i = 0; i < kSockets; ++i) {
        EXPECT_EQ(movies[i]->received, QByteArray("back to movie ") + QByteArray::number(i));
    }
    EXPECT_EQ(m_bridge->OpenConnections(), kSockets);
}

TEST_F(SocketBridge, ConnectionsBeyondTheLimitAreRefused) {
    m_limits.connections = 2;
    Start({m_server.Endpoint()});
    EXPECT_FALSE(Connect().isEmpty());
    EXPECT_FALSE(Connect().isEmpty());
    EXPECT_TRUE(Connect().isEmpty());
    EXPECT_EQ(m_error, QStringLiteral("too many connections"));
}

}  // namespace
}  // namespace tavrin::ui
