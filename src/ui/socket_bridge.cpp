#include "ui/socket_bridge.h"

#include <cstdio>

#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketCorsAuthenticator>
#include <QWebSocketServer>

#include "app/diagnostics.h"
#include "ui/page_support.h"
#include "ui/random_secret.h"

namespace tavrin::ui {

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;
// How long a connection whose movie has gone may take to hand its last bytes to the server.
constexpr int kFlushTimeoutMs = 10000;
// How long the page has to answer the bridge's close.
constexpr int kCloseGraceMs = 2000;

}  // namespace

// One movie connection: the WebSocket from the player page and the TCP connection to the
// game server, bytes passed on both ways unchanged.
class SocketRelay : public QObject {
public:
    SocketRelay(CSocketBridge* bridge, QWebSocket* ws, QTcpSocket* tcp)
        : QObject(bridge), m_pBridge(bridge), m_pWs(ws), m_pTcp(tcp) {
        m_pBridge->m_relays.insert(this);
        ws->setParent(this);
        tcp->setParent(this);
        tcp->disconnect(m_pBridge);
        ws->setMaxAllowedIncomingMessageSize(static_cast<quint64>(bridge->m_limits.messageSize));
        ws->setMaxAllowedIncomingFrameSize(static_cast<quint64>(bridge->m_limits.messageSize));
        connect(ws, &QWebSocket::binaryMessageReceived, this, &SocketRelay::ToServer);
        connect(ws, &QWebSocket::bytesWritten, this, &SocketRelay::ToMovie);
        connect(ws, &QWebSocket::disconnected, this, &SocketRelay::OnMovieGone);
        connect(tcp, &QTcpSocket::readyRead, this, &SocketRelay::ToMovie);
        connect(tcp, &QTcpSocket::disconnected, this, &SocketRelay::OnServerGone);
        connect(tcp, &QTcpSocket::errorOccurred, this, &SocketRelay::OnServerGone);
        // What the server said before the page came for the connection.
        ToMovie();
        if (tcp->state() != QAbstractSocket::ConnectedState) {
            OnServerGone();
        }
    }
    ~SocketRelay() override { m_pBridge->m_relays.remove(this); }

    qint64 HeldForMovie() const { return m_pTcp->bytesAvailable() + m_pWs->bytesToWrite(); }

private:
    void ToServer(const QByteArray& data) {
        if (m_bServerGone) {
            return;  // the movie learns it from the close that is on its way
        }
        // One message may be large (a movie's whole flush); a server that has not taken
        // the earlier ones yet gets no more.
        if (m_pTcp->bytesToWrite() > m_pBridge->m_limits.pendingToServer) {
            Diagnose("socket bridge: %s:%u does not take what the game sends; closed",
                     qPrintable(m_pTcp->peerName()), m_pTcp->peerPort());
            m_bServerGone = true;
            m_pTcp->abort();
            CloseMovieSide(QWebSocketProtocol::CloseCodeTooMuchData);
            return;
        }
        m_pTcp->write(data);
    }

    void CloseMovieSide(QWebSocketProtocol::CloseCode code) {
        if (m_bClosing) {
            return;
        }
        m_bClosing = true;
        m_pWs->close(code);
        // A page that keeps sending may never get to answer the close.
        QTimer::singleShot(kCloseGraceMs, m_pWs, &QWebSocket::abort);
    }

    void ToMovie() {
        while (m_pTcp->bytesAvailable() > 0 &&
               m_pWs->bytesToWrite() < m_pBridge->m_limits.pendingToMovie &&
               m_pWs->state() == QAbstractSocket::ConnectedState) {
            m_pWs->sendBinaryMessage(m_pTcp->read(kChunkBytes));
        }
        if (m_bServerGone && m_pTcp->bytesAvailable() == 0) {
            CloseMovieSide(QWebSocketProtocol::CloseCodeNormal);  // after all the server sent
        }
    }

    void OnServerGone() {
        if (!m_bServerGone) {
            m_bServerGone = true;
            ToMovie();
        }
    }

    void OnMovieGone() {
        if (m_bMovieGone) {
            return;
        }
        m_bMovieGone = true;
        // What the movie wrote last still goes out before the server sees the close.
        m_pTcp->disconnectFromHost();
        if (m_pTcp->state() == QAbstractSocket::UnconnectedState) {
            deleteLater();
            return;
        }
        connect(m_pTcp, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        QTimer::singleShot(kFlushTimeoutMs, this, &QObject::deleteLater);
    }

    CSocketBridge* m_pBridge;
    QWebSocket* m_pWs;
    QTcpSocket* m_pTcp;
    bool m_bServerGone = false;
    bool m_bMovieGone = false;
    bool m_bClosing = false;
};

CSocketBridge::CSocketBridge(std::vector<SocketEndpoint> endpoints, QObject* parent)
    : QObject(parent),
      m_endpoints(std::move(endpoints)),
      m_pServer(
          new QWebSocketServer(QStringLiteral("tavrin"), QWebSocketServer::NonSecureMode, this)),
      m_strRunKey(RandomSecret()) {
    connect(m_pServer, &QWebSocketServer::newConnection, this, &CSocketBridge::OnNewConnection);
    connect(m_pServer, &QWebSocketServer::originAuthenticationRequired, this,
            [this](QWebSocketCorsAuthenticator* request) {
                request->setAllowed(!m_pageOrigin.isEmpty() &&
                                    SameOrigin(QUrl(request->origin()), m_pageOrigin));
            });
}

CSocketBridge::~CSocketBridge() {
    m_pServer->close();
    // While this object is still whole: the relays count themselves out of it, and their
    // sockets' last signals still reach them.
    while (!m_relays.isEmpty()) {
        delete *m_relays.begin();
    }
}

bool CSocketBridge::Listen() {
    if (!m_pServer->listen(QHostAddress::LocalHost, 0)) {
        Diagnose("socket bridge: cannot listen on the loopback interface: %s",
                 qPrintable(m_pServer->errorString()));
        return false;
    }
    return true;
}

QString CSocketBridge::EndpointFor(const QString& proxyUrl) const {
    for (std::size_t i = 0; i < m_endpoints.size(); ++i) {
        if (proxyUrl == ProxyUrl(i)) {
            return QStringLiteral("%1:%2")
                .arg(QString::fromStdString(m_endpoints[i].host))
                .arg(m_endpoints[i].port);
        }
    }
    return {};
}

QString CSocketBridge::ProxyUrl(std::size_t index) const {
    return QStringLiteral("ws://127.0.0.1:%1/%2/e/%3")
        .arg(m_pServer->serverPort())
        .arg(m_strRunKey)
        .arg(index);
}

void CSocketBridge::SetPageOrigin(const QUrl& pageUrl) {
    m_pageOrigin = pageUrl;
}

int CSocketBridge::OpenConnections() const {
    return static_cast<int>(m_relays.size());
}

qint64 CSocketBridge::HeldForMovies() const {
    qint64 held = 0;
    for (const SocketRelay* relay : m_relays) {
        held += relay->HeldForMovie();
    }
    return held;
}

void CSocketBridge::Connect(const QString& proxyUrl, ConnectDone done) {
    std::size_t index = m_endpoints.size();
    for (std::size_t i = 0; i < m_endpoints.size(); ++i) {
        if (m_pServer->isListening() && proxyUrl == ProxyUrl(i)) {
            index = i;
        }
    }
    if (index == m_endpoints.size()) {
        done({}, QStringLiteral("not a game server of this game"));
        return;
    }
    if (m_relays.size() + m_nConnecting + m_tickets.size() >= m_limits.connections) {
        done({}, QStringLiteral("too many connections"));
        return;
    }
    ++m_nConnecting;
    auto* tcp = new QTcpSocket(this);
    // Above this the socket stops reading, and the game server's sending waits.
    tcp->setReadBufferSize(m_limits.pendingToMovie);
    // Lives as long as the attempt; whichever of its ends comes first counts.
    auto* attempt = new QObject(tcp);
    const auto settle = [this, tcp, attempt, done] {
        if (attempt->property("settled").toBool()) {
            return;
        }
        attempt->setProperty("settled", true);
        attempt->deleteLater();
        --m_nConnecting;
        if (tcp->state() != QAbstractSocket::ConnectedState) {
            const QString error = tcp->error() == QAbstractSocket::UnknownSocketError
                                      ? QStringLiteral("no answer in time")
                                      : tcp->errorString();
            tcp->abort();
            tcp->deleteLater();
            done({}, error);
            return;
        }
        const QString ticket = RandomSecret();
        m_tickets.insert(ticket, tcp);
        QTimer::singleShot(m_limits.unclaimedTicketMs, this,
                           [this, ticket] { DropTicket(ticket); });
        done(QStringLiteral("ws://127.0.0.1:%1/%2/t/%3")
                 .arg(m_pServer->serverPort())
                 .arg(m_strRunKey, ticket),
             {});
    };
    connect(tcp, &QTcpSocket::connected, attempt, settle);
    connect(tcp, &QTcpSocket::errorOccurred, attempt, settle);
    QTimer::singleShot(m_limits.connectTimeoutMs, attempt, settle);
    const SocketEndpoint& endpoint = m_endpoints[index];
    tcp->connectToHost(QString::fromStdString(endpoint.host), endpoint.port);
}

void CSocketBridge::DropTicket(const QString& ticket) {
    if (QTcpSocket* tcp = m_tickets.take(ticket)) {
        tcp->abort();
        tcp->deleteLater();
    }
}

void CSocketBridge::OnNewConnection() {
    while (QWebSocket* ws = m_pServer->nextPendingConnection()) {
        const QString prefix = QStringLiteral("/%1/t/").arg(m_strRunKey);
        const QString path = ws->requestUrl().path();
        QTcpSocket* tcp =
            path.startsWith(prefix) ? m_tickets.take(path.mid(prefix.size())) : nullptr;
        if (tcp == nullptr) {
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated);
            ws->deleteLater();
            continue;
        }
        new SocketRelay(this, ws, tcp);
    }
}

}  // namespace tavrin::ui
