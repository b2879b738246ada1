// The game's sockets through the launcher's bridge against the same traffic over a direct
// connection: a native client, the page's channel messages sent from here, and the movie
// (bench/movies/SocketBench.hx, in the real player page) each make 500 round trips of a
// 100-byte message to an echo server on loopback and then send 10 MiB through it and back.
// Prints all three and the movie's ratios to the direct client.
// Usage: tavrin_socket_bench MOVIE.swf
#include <cstdio>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include "app/app_globals.h"
#include "game/player_page.h"
#include "net/socket_policy.h"
#include "ui/flash_player.h"
#include "ui/socket_bridge.h"
#include "ui/tavrin_app.h"

namespace {

constexpr int kRounds = 500;
constexpr int kMessage = 100;
constexpr qint64 kTransfer = 10 << 20;
constexpr qint64 kChunk = 64 << 10;

// Echoes every byte back; on a thread of its own so that neither side waits for the other's
// event loop. Also serves the movie to the player page (any request that starts with GET).
class Servers : public QThread {
public:
    explicit Servers(QByteArray movie) : m_movie(std::move(movie)) {}
    quint16 echoPort = 0;
    quint16 webPort = 0;

protected:
    void run() override {
        QTcpServer echo;
        QTcpServer web;
        echo.listen(QHostAddress::LocalHost, 0);
        web.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&echo, &QTcpServer::newConnection, [&] {
            QTcpSocket* s = echo.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, [s] {
                const QByteArray got = s->readAll();
                // A socket policy for the launcher's question, as a game server serves it.
                if (got.startsWith("<policy-file-request/>")) {
                    s->write(
                        QByteArray("<cross-domain-policy><allow-access-from domain=\"*\" "
                                   "to-ports=\"*\"/></cross-domain-policy>\0",
                                   88));
                    s->disconnectFromHost();
                    return;
                }
                s->write(got);
            });
        });
        QObject::connect(&web, &QTcpServer::newConnection, [&] {
            QTcpSocket* s = web.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, [this, s] {
                s->readAll();
                s->write(
                    "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n"
                    "Content-Length: " +
                    QByteArray::number(m_movie.size()) + "\r\nConnection: close\r\n\r\n" + m_movie);
                s->disconnectFromHost();
            });
        });
        echoPort = echo.serverPort();
        webPort = web.serverPort();
        exec();
    }

private:
    QByteArray m_movie;
};

struct Figures {
    double roundTripMs = 0;
    double transferMs = 0;
};

Figures Direct(quint16 port) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    s.waitForConnected(5000);
    s.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const QByteArray message(kMessage, 'm');
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kRounds; ++i) {
        s.write(message);
        qint64 got = 0;
        while (got < kMessage && s.waitForReadyRead(5000)) {
            got += s.readAll().size();
        }
    }
    Figures f;
    f.roundTripMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    const QByteArray chunk(kChunk, 'c');
    qint64 sent = 0;
    qint64 got = 0;
    while (got < kTransfer) {
        if (sent < kTransfer && s.bytesToWrite() < 4 * kChunk) {
            s.write(chunk);
            sent += kChunk;
        }
        s.waitForBytesWritten(0);
        if (s.waitForReadyRead(sent < kTransfer ? 0 : 5000)) {
            got += s.readAll().size();
        }
    }
    f.transferMs = clock.nsecsElapsed() / 1e6;
    return f;
}

// A connect the list does not name, from the page's question to the answer that lets the
// movie's socket count as connected: the master policy port (nothing there), the policy on the
// server's port, the connection. Against the policy request alone. Averages in microseconds.
struct PolicyFigures {
    double requestUs = 0;
    double connectUs = 0;
};
PolicyFigures PolicyConnects(quint16 port) {
    constexpr int kTimes = 20;
    PolicyFigures f;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kTimes; ++i) {
        tavrin::RequestSocketPolicy("127.0.0.1", port);
    }
    f.requestUs = clock.nsecsElapsed() / 1e3 / kTimes;
    qint64 total = 0;
    for (int i = 0; i < kTimes; ++i) {
        // A new relay each time: its policies are kept for the run.
        tavrin::ui::CSocketBridge bridge({}, {"127.0.0.1"});
        bridge.Listen(QStringLiteral("http://127.0.0.1:1/bench.swf"));
        const QString proxy =
            QString::fromStdString(bridge.Proxies().at(0).url) + QString::number(port);
        QEventLoop wait;
        clock.restart();
        bridge.Connect(proxy, [&](const QString&, const QString&) { wait.quit(); });
        wait.exec();
        total += clock.nsecsElapsed();
    }
    f.connectUs = total / 1e3 / kTimes;
    return f;
}

// The page's messages on the relay's channel, sent from here: the relay's and the channel's
// own cost (the messages, their base64), without the engine and the player's frame tick that
// paces what the movie sees. One send at a time and a receive always waiting, as the page.
Figures ThroughBridge(quint16 port) {
    tavrin::ui::CSocketBridge bridge({{"127.0.0.1", port}}, {});
    bridge.Listen(QStringLiteral("http://127.0.0.1:1/bench.swf"));
    QString url;
    QEventLoop wait;
    const QString proxy = QString::fromStdString(bridge.Proxies().at(0).url);
    bridge.Connect(proxy, [&](const QString& answer, const QString&) {
        url = answer;
        wait.quit();
    });
    wait.exec();
    const auto call = [&](QJsonObject message, std::function<void(const QJsonObject&)> done) {
        message[QStringLiteral("kind")] = QStringLiteral("relay");
        message[QStringLiteral("url")] = url;
        bridge.Channel(tavrin::ParsePageMessage(QJsonDocument(message).toJson().toStdString()),
                       [done](const QString& answer) {
                           done(QJsonDocument::fromJson(answer.toUtf8()).object());
                       });
    };
    bool open = false;  // answered at once, before any wait could start
    call({{"op", "open"}}, [&](const QJsonObject&) { open = true; });
    if (!open) {
        return {};
    }
    qint64 got = 0;
    std::function<void()> receive = [&] {
        call({{"op", "receive"}}, [&](const QJsonObject& answer) {
            got +=
                QByteArray::fromBase64(answer.value(QStringLiteral("data")).toString().toLatin1())
                    .size();
            receive();
            wait.quit();
        });
    };
    receive();
    const auto send = [&](const QByteArray& bytes, std::function<void()> taken) {
        call({{"op", "send"}, {"data", QString::fromLatin1(bytes.toBase64())}},
             [taken](const QJsonObject&) { taken(); });
    };
    const QByteArray message(kMessage, 'm');
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kRounds; ++i) {
        got = 0;
        send(message, [] {});
        while (got < kMessage) {
            wait.exec();
        }
    }
    Figures f;
    f.roundTripMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    got = 0;
    const QByteArray chunk(kChunk, 'c');
    qint64 sent = 0;
    std::function<void()> sendNext = [&] {
        if (sent < kTransfer) {
            sent += kChunk;
            send(chunk, sendNext);
        }
    };
    sendNext();
    while (got < kTransfer) {
        wait.exec();
    }
    f.transferMs = clock.nsecsElapsed() / 1e6;
    return f;
}

double Field(const QString& result, const QString& name) {
    for (const QString& pair : result.split(QLatin1Char(';'))) {
        if (pair.startsWith(name + QLatin1Char('='))) {
            return pair.mid(name.size() + 1).toDouble();
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavrin::ui;
    CTavrinApp::PrepareProcess();
    CTavrinApp app(argc, argv);
    tavrin::g_strBaseName = "tavrin_socket_bench";
    QFile movieFile(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    if (!movieFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "usage: tavrin_socket_bench SocketBench.swf\n");
        return 2;
    }
    Servers servers(movieFile.readAll());
    servers.start();
    while (servers.webPort == 0) {
        QThread::msleep(10);
    }
    const Figures direct = Direct(servers.echoPort);
    const Figures bridgeOnly = ThroughBridge(servers.echoPort);
    const PolicyFigures policy = PolicyConnects(servers.echoPort);

    Figures bridged;
    bool done = false;
    auto* player = new CShockwaveflash1();
    QObject::connect(player, &CShockwaveflash1::FlashCall, [&](const QString& request) {
        if (!request.contains(QLatin1String("\"benchResult\""))) {
            return;
        }
        const QString result = request.section(QLatin1String("<string>"), 1).section('<', 0, 0);
        bridged.roundTripMs = Field(result, QStringLiteral("round_trips_ms"));
        bridged.transferMs = Field(result, QStringLiteral("transfer_ms"));
        if (bridged.roundTripMs == 0) {
            std::fprintf(stderr, "the movie says: %s\n", qPrintable(result));
        }
        done = true;
        app.quit();
    });
    player->resize(400, 300);
    player->show();
    player->put_AllowScriptAccess(QStringLiteral("sameDomain"));
    player->put_FlashVars(QStringLiteral("server=127.0.0.1:%1").arg(servers.echoPort));
    player->SetSocketEndpoints({{"127.0.0.1", servers.echoPort}});
    player->put_Movie(QStringLiteral("http://127.0.0.1:%1/SocketBench.swf").arg(servers.webPort));
    QTimer::singleShot(120000, &app, &QApplication::quit);
    app.exec();
    delete player;
    servers.quit();
    servers.wait();

    const auto mibPerS = [](double ms) {
        return ms > 0 ? (kTransfer / 1048576.0) / (ms / 1000) : 0;
    };
    std::printf("policy_request_us %.1f\n", policy.requestUs);
    std::printf("policy_connect_us %.1f\n", policy.connectUs);
    std::printf("policy_connect_beyond_request_us %.1f\n", policy.connectUs - policy.requestUs);
    std::printf("direct_round_trip_us %.1f\n", direct.roundTripMs * 1000 / kRounds);
    std::printf("bridge_native_round_trip_us %.1f\n", bridgeOnly.roundTripMs * 1000 / kRounds);
    std::printf("bridge_round_trip_us %.1f\n", bridged.roundTripMs * 1000 / kRounds);
    std::printf("round_trip_ratio %.1f\n",
                direct.roundTripMs > 0 ? bridged.roundTripMs / direct.roundTripMs : 0);
    std::printf("direct_transfer_mib_s %.1f\n", mibPerS(direct.transferMs));
    std::printf("bridge_native_transfer_mib_s %.1f\n", mibPerS(bridgeOnly.transferMs));
    std::printf("bridge_transfer_mib_s %.1f\n", mibPerS(bridged.transferMs));
    std::printf("transfer_ratio %.2f\n",
                bridged.transferMs > 0 ? direct.transferMs / bridged.transferMs : 0);
    return done ? 0 : 1;
}
