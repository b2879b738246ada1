#include "ui/socket_bridge.h"

#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include "game/game_check.h"

namespace tavrin::ui {

CSocketBridge::CSocketBridge(std::vector<SocketEndpoint> listed,
                             std::vector<std::string> policyHosts, QObject* parent)
    : QObject(parent), m_listed(std::move(listed)), m_policyHosts(std::move(policyHosts)) {}

CSocketBridge::~CSocketBridge() = default;

bool CSocketBridge::Listen(const QString& movieUrl) {
    m_pRelay = std::make_unique<GameRelay>(m_listed, m_policyHosts, m_limits);
    // The relay calls from its thread, and never after it is gone, which is before this
    // object is: events posted to this object are dropped with it.
    QPointer<CSocketBridge> self(this);
    m_pRelay->SetObserver([this, self](const GameRelay::Answer& answer) {
        QMetaObject::invokeMethod(
            this,
            [self, answer] {
                if (!self.isNull()) {
                    emit self->SocketSettled(QString::fromStdString(answer.endpoint),
                                             QString::fromStdString(SocketOutcome(answer)));
                }
            },
            Qt::QueuedConnection);
    });
    m_pRelay->SetMovie(movieUrl.toStdString());
    if (!m_pRelay->Start()) {
        m_pRelay.reset();
        return false;
    }
    return true;
}

std::vector<GameRelay::Proxy> CSocketBridge::Proxies() const {
    return m_pRelay ? m_pRelay->Proxies() : std::vector<GameRelay::Proxy>();
}

QString CSocketBridge::EndpointFor(const QString& proxyUrl) const {
    return m_pRelay ? QString::fromStdString(m_pRelay->EndpointFor(proxyUrl.toStdString()))
                    : QString();
}

void CSocketBridge::Connect(const QString& proxyUrl, ConnectDone done) {
    if (!m_pRelay) {
        done({}, QStringLiteral("the game has no game servers"));
        return;
    }
    QPointer<CSocketBridge> self(this);
    m_pRelay->Connect(proxyUrl.toStdString(), [this, self, done](const GameRelay::Answer& answer) {
        const bool open = answer.result == GameRelay::Answer::Result::kConnected ||
                          answer.result == GameRelay::Answer::Result::kPending;
        const QString url = open ? QString::fromStdString(answer.url) : QString();
        const QString error = open ? QString() : QString::fromStdString(answer.detail);
        QMetaObject::invokeMethod(
            this,
            [self, done, url, error] {
                if (!self.isNull()) {
                    done(url, error);
                }
            },
            Qt::QueuedConnection);
    });
}

void CSocketBridge::Channel(const PageMessage& message,
                            std::function<void(const QString&)> answer) {
    if (!m_pRelay) {
        answer(QStringLiteral("{\"ok\":false,\"closed\":1011}"));
        return;
    }
    QPointer<CSocketBridge> self(this);
    // An answer made at once (on this thread) goes back at once; one from the relay's thread
    // comes here first.
    AnswerRelayMessage(*m_pRelay, message,
                       [this, self, answer = std::move(answer)](const std::string& reply) {
                           if (QThread::currentThread() == thread()) {
                               answer(QString::fromStdString(reply));
                               return;
                           }
                           QMetaObject::invokeMethod(
                               this,
                               [self, answer, text = QString::fromStdString(reply)] {
                                   if (!self.isNull()) {
                                       answer(text);
                                   }
                               },
                               Qt::QueuedConnection);
                       });
}

int CSocketBridge::OpenConnections() const {
    return m_pRelay ? m_pRelay->OpenConnections() : 0;
}

qint64 CSocketBridge::HeldForMovies() const {
    return m_pRelay ? static_cast<qint64>(m_pRelay->HeldForMovies()) : 0;
}

}  // namespace tavrin::ui
