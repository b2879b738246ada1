// CPageChannel: the player page's asynchronous calls to the launcher, over the engine's own
// web channel (Qt WebChannel, which rides the engine's messages between its processes): the
// page's game sockets go this way. A call carries an id that its answer, sent later as a
// signal, carries back; a call may wait for its answer as long as it needs without holding
// anything of the page's. Only the page's main document of the movie's origin is heard.
#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QUrl>

class QWebEnginePage;

namespace tavrin::ui {

class CPageChannel : public QObject {
    Q_OBJECT

public:
    // `handle` gets the call's message (JSON) and a function that answers it, once, on this
    // object's thread.
    using Handler = std::function<void(const QString& message, std::function<void(QString)>)>;
    CPageChannel(QWebEnginePage* page, Handler handle);

    // The origin whose documents may call; none before the movie is known.
    void SetMovie(const QUrl& movie) { m_movie = movie; }

    // From the page: the call `id` with its message.
    Q_INVOKABLE void call(int id, const QString& message);

signals:
    void answered(int id, const QString& answer);

private:
    QWebEnginePage* m_pPage;
    Handler m_handle;
    QUrl m_movie;
    // Bumped by each load of the page: an answer for a page that has gone stays here.
    int m_nLoad = 0;
};

}  // namespace tavrin::ui
