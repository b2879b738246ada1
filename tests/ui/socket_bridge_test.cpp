// The game relay as the player uses it through the bridge, against real sockets on loopback:
// the page's side of each connection as the player page's messages on the engine's channel,
// a QTcpServer for the game server.
#include "ui/socket_bridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

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

// The page's side of one connection, as the player page has it: its messages on the channel,
// one send at a time, a receive always waiting (unless it stops reading).
class MovieSocket {
public:
    explicit MovieSocket(CSocketBridge& bridge, bool reads = true)
        : m_bridge(bridge), m_reads(reads) {}
    ~MovieSocket() { *m_alive = false; }

    bool Open(const QString& url) {
        m_url = url;
        std::optional<bool> taken;
        Call({{"op", "open"}}, [&taken](const QJsonObject& answer) {
            taken = answer.value(QStringLiteral("ok")).toBool();
        });
        if (!WaitFor([&] { return taken.has_value(); }) || !*taken) {
            closeCode = 1006;
            return false;
        }
        open = true;
        if (m_reads) {
            Receive();
        }
        return true;
    }
    void Send(const QByteArray& bytes) {
        m_queue.push_back(bytes);
        Flush();
    }
    void Close() {
        m_closing = true;
        Flush();
    }
    bool Closed() const { return closeCode != 0; }
    bool Idle() const { return m_queue.empty() && !m_sending; }

    bool open = false;
    int closeCode = 0;
    QByteArray received;

private:
    void Call(QJsonObject message, std::function<void(const QJsonObject&)> done) {
        message[QStringLiteral("kind")] = QStringLiteral("relay");
        message[QStringLiteral("url")] = m_url;
        m_bridge.Channel(ParsePageMessage(QJsonDocument(message).toJson().toStdString()),
                         [alive = m_alive, done](const QString& answer) {
                             if (*alive) {
                                 done(QJsonDocument::fromJson(answer.toUtf8()).object());
                             }
                         });
    }
    void Receive() {
        Call({{"op", "receive"}}, [this](const QJsonObject& answer) {
            const int code = answer.value(QStringLiteral("closed")).toInt();
            if (code != 0) {
                closeCode = code;
                return;
            }
            received +=
                QByteArray::fromBase64(answer.value(QStringLiteral("data")).toString().toLatin1());
            Receive();
        });
    }
    void Flush() {
        if (m_sending || Closed()) {
            return;
        }
        if (m_queue.empty()) {
            if (m_closing) {
                m_closing = false;
                Call({{"op", "close"}}, [this](const QJsonObject&) { closeCode = 1000; });
            }
            return;
        }
        m_sending = true;
        const QByteArray bytes = m_queue.front();
        m_queue.pop_front();
        Call({{"op", "send"}, {"data", QString::fromLatin1(bytes.toBase64())}},
             [this](const QJsonObject&) {
                 m_sending = false;
                 Flush();
             });
    }

    CSocketBridge& m_bridge;
    const bool m_reads;
    QString m_url;
    std::deque<QByteArray> m_queue;
    bool m_sending = false;
    bool m_closing = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
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
    MovieSocket movie(*m_bridge);
    ASSERT_TRUE(movie.Open(Connect())) << m_error.toStdString();
    ASSERT_TRUE(WaitFor([&] { return movie.received == m_server.greeting; }));
    const QByteArray up = AllByteValues(4096);  // 1 MiB in one message
    movie.Send(up);
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

// (Only the player's own page reaches the channel at all: the page tests.)
TEST_F(SocketBridge, AConnectionNeedsAFreshTicketAndTakesItOnce) {
    Start({m_server.Endpoint()});
    const QString url = Connect();
    ASSERT_TRUE(url.startsWith(QStringLiteral("ws://tavrin-relay.invalid/"))) << url.toStdString();
    const QString ticket = url.section('/', -1);
    for (const QString& wrong :
         {url.left(url.lastIndexOf('/') + 1) + QStringLiteral("0123456789abcdef"),
          url.section('/', 0, 2) + QStringLiteral("/t/") + ticket,
          QStringLiteral("ws://127.0.0.1:1/") + url.section('/', 3)}) {
        MovieSocket movie(*m_bridge);
        EXPECT_FALSE(movie.Open(wrong)) << wrong.toStdString();
    }
    MovieSocket first(*m_bridge);
    ASSERT_TRUE(first.Open(url));
    MovieSocket second(*m_bridge);
    EXPECT_FALSE(second.Open(url));
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
    MovieSocket late(*m_bridge);
    EXPECT_FALSE(late.Open(url));
    EXPECT_EQ(m_bridge->OpenConnections(), 0);
}

TEST_F(SocketBridge, EitherSideClosingClosesTheOtherAfterTheLastBytes) {
    Start({m_server.Endpoint()});
    MovieSocket movie(*m_bridge);
    ASSERT_TRUE(movie.Open(Connect()));
    ASSERT_TRUE(WaitFor([&] { return m_server.peers.size() == 1; }));
    m_server.peers[0]->write("bye");
    m_server.peers[0]->disconnectFromHost();
    ASSERT_TRUE(WaitFor([&] { return movie.Closed(); }));
    EXPECT_EQ(movie.closeCode, 1000);
    EXPECT_EQ(movie.received, QByteArray("bye"));

    MovieSocket again(*m_bridge);
    ASSERT_TRUE(again.Open(Connect()));
    ASSERT_TRUE(WaitFor([&] { return m_server.peers.size() == 2; }));
    QTcpSocket* peer = m_server.peers[1];
    bool serverSawTheEnd = false;
    QObject::connect(peer, &QTcpSocket::disconnected, [&] { serverSawTheEnd = true; });
    again.Send("last words");
    again.Close();
    ASSERT_TRUE(WaitFor([&] { return serverSawTheEnd; }));
    EXPECT_EQ(m_server.received[1], QByteArray("last words"));
    EXPECT_TRUE(WaitFor([&] { return m_bridge->OpenConnections() == 0; }));
}

TEST_F(SocketBridge, AServerThatDoesNotReadEndsTheConnectionInsteadOfFillingMemory) {
    m_server.reads = false;
    m_limits.pendingToServer = 256 * 1024;
    Start({m_server.Endpoint()});
    MovieSocket movie(*m_bridge);
    ASSERT_TRUE(movie.Open(Connect()));
    const QByteArray block(64 * 1024, 'x');
    int sent = 0;
    ASSERT_TRUE(WaitFor([&] {
        if (movie.Idle() && sent < 1000) {
            movie.Send(block);
            ++sent;
        }
        return movie.Closed();
    }));
    EXPECT_EQ(movie.closeCode, 1009);
    EXPECT_LT(sent, 1000);
}

TEST_F(SocketBridge, AFloodFromTheServerWaitsInItsOwnBuffersWhileTheMovieIsBehind) {
    m_limits.pendingToMovie = 64 * 1024;
    Start({m_server.Endpoint()});
    // A page that stopped reading: its connection is open, and it asks for nothing.
    MovieSocket stalled(*m_bridge, false);
    ASSERT_TRUE(stalled.Open(Connect()));
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
    // What the bridge itself holds stays within its limit and the one read that crossed it.
    // The rest of the flood waits in the kernel and in the server.
    EXPECT_GT(mostHeld, 0);
    EXPECT_LE(mostHeld, m_bridge->m_limits.pendingToMovie + 64 * 1024);
    EXPECT_GT(server->bytesToWrite(), 0);
}

TEST_F(SocketBridge, ManySocketsAtOnceEachKeepTheirOwnBytes) {
    Start({m_server.Endpoint()});
    constexpr int kSockets = 8;
    std::vector<std::unique_ptr<MovieSocket>> movies;
    for (int i = 0; i < kSockets; ++i) {
        movies.push_back(std::make_unique<MovieSocket>(*m_bridge));
        ASSERT_TRUE(movies.back()->Open(Connect())) << i;
    }
    for (int i = 0; i < kSockets; ++i) {
        movies[i]->Send(QByteArray("movie ") + QByteArray::number(i));
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
