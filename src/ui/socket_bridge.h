// CSocketBridge: the game movie's TCP connections. The Flash player in the page reaches
// sockets only through WebSocket proxies; this is the launcher's own, listening on
// 127.0.0.1 only, relaying to the game servers the client configuration lists and to
// nothing else. A connection is opened by the player page asking the launcher (so that a
// refused or unreachable server reaches the movie as the failed connect it is), which gives
// a one-time ticket for the WebSocket that then carries the bytes both ways.
#pragma once

#include <functional>
#include <vector>

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include "app/config.h"

class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

namespace tavrin::ui {

class SocketRelay;

class CSocketBridge : public QObject {
    Q_OBJECT

public:
    struct Limits {
        // Unsent bytes towards a game server that does not read: past this the connection
        // ends, rather than the launcher holding everything the movie writes.
        qint64 pendingToServer = 8 << 20;
        // The largest single write of the movie (one flush) that the bridge takes.
        qint64 messageSize = 64 << 20;
        // Unsent bytes towards the movie: reading from the game server pauses above this, so
        // a flood waits in the server's own buffers.
        qint64 pendingToMovie = 1 << 20;
        int connections = 64;
        int connectTimeoutMs = 20000;  // as a Flash socket's default time-out
        int unclaimedTicketMs = 10000;
    };

    explicit CSocketBridge(std::vector<SocketEndpoint> endpoints, QObject* parent = nullptr);
    ~CSocketBridge() override;

    // Starts listening on a free loopback port; false (said on stderr) when it cannot.
    bool Listen();
    const std::vector<SocketEndpoint>& Endpoints() const { return m_endpoints; }
    // The proxy address the player is given for the endpoint at `index`.
    QString ProxyUrl(std::size_t index) const;
    // "host:port" of the endpoint behind a proxy address; empty for one never given out.
    QString EndpointFor(const QString& proxyUrl) const;
    // WebSockets are answered only for pages of this origin (the player page's).
    void SetPageOrigin(const QUrl& pageUrl);

    // Connects to the game server behind a proxy address. `done` gets the address, with a
    // fresh ticket, that the WebSocket carrying this connection must use; or an empty
    // address and why not.
    using ConnectDone = std::function<void(const QString& url, const QString& error)>;
    void Connect(const QString& proxyUrl, ConnectDone done);

    // Connections that carry data now, for diagnostics and tests.
    int OpenConnections() const;
    // Bytes the bridge holds on their way to the movies: read from the servers, not yet
    // taken by the pages.
    qint64 HeldForMovies() const;

    Limits m_limits;

private:
    void OnNewConnection();
    void DropTicket(const QString& ticket);

    std::vector<SocketEndpoint> m_endpoints;
    QWebSocketServer* m_pServer;
    QString m_strRunKey;  // a secret of this run in every address
    QUrl m_pageOrigin;
    QHash<QString, QTcpSocket*> m_tickets;  // connected, waiting for their WebSocket
    QSet<SocketRelay*> m_relays;
    int m_nConnecting = 0;
    friend class SocketRelay;
};

}  // namespace tavrin::ui
