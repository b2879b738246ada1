#include "ui/page_channel.h"

#include <QPointer>
#include <QWebChannel>
#include <QWebEnginePage>

#include "app/diagnostics.h"
#include "ui/page_support.h"

namespace tavrin::ui {

CPageChannel::CPageChannel(QWebEnginePage* page, Handler handle)
    : QObject(page), m_pPage(page), m_handle(std::move(handle)) {
    auto* channel = new QWebChannel(this);
    channel->registerObject(QStringLiteral("tavrinRelay"), this);
    page->setWebChannel(channel);
    connect(page, &QWebEnginePage::loadStarted, this, [this] { ++m_nLoad; });
}

void CPageChannel::call(int id, const QString& message) {
    if (m_movie.isEmpty() || !SameOrigin(m_pPage->url(), m_movie)) {
        Diagnose("player: a channel call of %s ignored: not the player's page",
                 qPrintable(m_pPage->url().toDisplayString(QUrl::RemoveQuery)));
        return;
    }
    QPointer<CPageChannel> self(this);
    m_handle(message, [self, id, load = m_nLoad](const QString& answer) {
        if (!self.isNull() && self->m_nLoad == load) {
            emit self->answered(id, answer);
        }
    });
}

}  // namespace tavrin::ui
