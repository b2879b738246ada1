// CSocketBridge: the game relay (game/game_relay.h) as the player sees it from Qt. The relay
// serves its sockets on threads of its own; the bridge brings its answers to the thread of
// the player's window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "game/game_relay.h"
#include "game/player_page.h"

namespace tavrin::ui {

class CSocketBridge : public QObject {
    Q_OBJECT

public:
    // `listed`: the game servers of a trusted client configuration; `policyHosts`: hosts
    // whose servers may let the movie in with a socket policy.
    CSocketBridge(std::vector<SocketEndpoint> listed, std::vector<std::string> policyHosts,
                  QObject* parent = nullptr);
    ~CSocketBridge() override;

    // Starts the relay with m_limits; false (in the log) when it cannot.
    bool Listen(const QString& movieUrl);
    std::vector<GameRelay::Proxy> Proxies() const;
    // "host:port" of the server behind a proxy address; empty for one never given out.
    QString EndpointFor(const QString& proxyUrl) const;

    // Connects to the game server behind a proxy address. `done` gets, on this object's
    // thread, the address (with a fresh ticket) that the WebSocket carrying this connection
    // must use; or an empty address and why not.
    using ConnectDone = std::function<void(const QString& url, const QString& error)>;
    void Connect(const QString& proxyUrl, ConnectDone done);

    // A "relay" message of the page (game/player_page.h): its connection's bytes through the
    // engine's channel. `answer` gets the reply, on this object's thread.
    void Channel(const PageMessage& message, std::function<void(const QString&)> answer);

    int OpenConnections() const;
    qint64 HeldForMovies() const;

    GameRelay::Limits m_limits;

signals:
    // Every connect's outcome: "connected (listed)", "refused: ...", "failed: ...".
    void SocketSettled(const QString& endpoint, const QString& outcome);

private:
    std::vector<SocketEndpoint> m_listed;
    std::vector<std::string> m_policyHosts;
    std::unique_ptr<GameRelay> m_pRelay;
};

}  // namespace tavrin::ui
