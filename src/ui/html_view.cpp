#include "ui/html_view.h"

#include <QChildEvent>
#include <QCursor>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>

#include "flow/login_rules.h"

namespace tavrin::ui {

namespace {
// A navigation replaced by a newer one: not an error of the page.
constexpr int kErrAborted = -3;
}  // namespace

CMLHtmlView::CMLHtmlView(QWidget* parent)
    : QWebEngineView(parent), m_pSite(new CDocHostSite(this, *this)) {
    setPage(m_pSite);
    setContextMenuPolicy(Qt::DefaultContextMenu);  // the engine's own menu
    connect(m_pSite, &QWebEnginePage::loadStarted, this, &CMLHtmlView::OnLoadStarted);
    connect(m_pSite, &QWebEnginePage::loadFinished, this, &CMLHtmlView::OnLoadFinished);
    connect(m_pSite, &QWebEnginePage::loadingChanged, this, &CMLHtmlView::OnLoadingChanged);
}

CMLHtmlView::~CMLHtmlView() {
    // The page must go before the profile it belongs to. Going, it answers the reads still
    // waiting for it: they are not told, since whoever asked may be going as well.
    m_bClosing = true;
    setPage(nullptr);
    delete m_pSite;
}

bool CMLHtmlView::CreateInDialog(CMLHtmlViewOwner* owner, QWidget* placeholder) {
    m_pOwner = owner;
    if (placeholder == nullptr) {
        return false;
    }
    setParent(placeholder->parentWidget());
    setGeometry(placeholder->geometry());
    setObjectName(placeholder->objectName());
    delete placeholder;
    show();
    return true;
}

void CMLHtmlView::Navigate(const std::string& address) {
    load(QUrl(QString::fromLocal8Bit(address)));
}

std::string CMLHtmlView::GetLocationURL() const {
    // Fully encoded, as the browser asked for it: a decoded form would turn "%20" into a
    // space that the fetch refuses, and characters outside ASCII into the code page's.
    return url().toEncoded().toStdString();
}

void CMLHtmlView::ReadPageAddress(std::function<void(const std::string&)> answer) {
    QPointer<CMLHtmlView> self(this);
    page()->runJavaScript(QStringLiteral("location.href"),
                          [self, answer = std::move(answer)](const QVariant& href) {
                              if (self.isNull() || self->m_bClosing) {
                                  return;
                              }
                              const QString text = href.toString();
                              answer(text.isEmpty() ? self->GetLocationURL() : text.toStdString());
                          });
}

void CMLHtmlView::GoBack() {
    // The view's own back() does nothing after a navigation that script started without a
    // user gesture; the history's does.
    m_pSite->history()->back();
}

bool CMLHtmlView::CanGoBackToPage() const {
    const QWebEngineHistory* history = m_pSite->history();
    return history->canGoBack() && history->backItem().url() != QUrl(QStringLiteral("about:blank"));
}

void CMLHtmlView::OnBeforeNavigate2(bool isMainFrame) {
    if (m_pOwner == nullptr) {
        return;
    }
    m_pOwner->OnViewBeforeNavigate();
    if (!isMainFrame) {
        // A frame's navigation has no commit signal of its own here; it completes at once.
        m_pOwner->OnViewNavigateComplete();
    }
}

void CMLHtmlView::OnLoadStarted() {
    m_nPendingNavigation = ++m_nNavigationCount;
    if (m_pOwner != nullptr) {
        m_pOwner->OnViewNavigateComplete();
    }
}

void CMLHtmlView::OnLoadFinished() {
    if (m_nPendingNavigation == 0) {
        return;
    }
    m_nPendingNavigation = 0;
    if (m_pOwner != nullptr) {
        // Posted, like a window message: the owner may navigate again from its handler.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_pOwner != nullptr) {
                    m_pOwner->OnViewDocumentComplete();
                }
            },
            Qt::QueuedConnection);
    }
}

void CMLHtmlView::OnLoadingChanged(const QWebEngineLoadingInfo& info) {
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus || m_pOwner == nullptr) {
        return;
    }
    NavigationErrorKind kind;
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
        kind = ClassifyHttpStatus(info.errorCode());
    } else if (info.errorCode() == kErrAborted) {
        return;
    } else {
        kind = ClassifyEngineError(info.errorCode());
    }
    if (kind == NavigationErrorKind::kPageError) {
        m_pOwner->OnViewPageError();
    } else {
        m_pOwner->OnViewNavigationError();
    }
}

bool CMLHtmlView::OnShowMessage(const QString& text) {
    if (!m_bMessagesToOwner || m_pOwner == nullptr) {
        return false;
    }
    m_pOwner->OnViewShowMessage(text);
    return true;
}

QString CMLHtmlView::DesignerState() const {
    const bool attached = m_bAttachDesigner || m_bAttachDesigner2;
    QJsonObject state;
    state[QStringLiteral("links")] = attached && m_designer.m_bReportLinks;
    state[QStringLiteral("pointer")] = attached && m_designer.m_bReportPointer;
    return QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact));
}

QString CMLHtmlView::OnBridgeCall(const QString& request) {
    const QJsonObject call = QJsonDocument::fromJson(request.toUtf8()).object();
    const QString method = call.value(QStringLiteral("method")).toString();
    const QJsonArray args = call.value(QStringLiteral("args")).toArray();
    const QString first = args.isEmpty() ? QString() : args.at(0).toString();
    if (method == QLatin1String("designer-state")) {
        return DesignerState();
    }
    if (method == QLatin1String("designer")) {
        ReportDesignerEvent(first, args.size() > 1 ? args.at(1).toString() : QString());
        return QStringLiteral("true");
    }
    long answer = 0;
    if (method == QLatin1String("invoke_enterroom")) {
        std::int32_t room = 0;
        if (!ParseRoomArgument(first.toStdString(), room)) {
            return QStringLiteral("error");  // the page's call throws, as automation's did
        }
        answer = m_pOwner != nullptr ? m_pOwner->OnViewEnterRoom(room) : 0;
    } else if (m_pOwner == nullptr) {
        answer = 0;
    } else if (method == QLatin1String("invoke_inlineurl")) {
        answer = m_pOwner->OnViewInlineUrl(first.toLocal8Bit().toStdString());
    } else if (method == QLatin1String("invoke_syssetting")) {
        answer = m_pOwner->OnViewSysSetting();
    }
    return answer == 0 ? QStringLiteral("true") : QStringLiteral("false");
}

void CMLHtmlView::ReportDesignerEvent(const QString& kind, const QString& href) {
    // Only what the owner asked for: a page cannot report what the switches keep off.
    const bool attached = m_bAttachDesigner || m_bAttachDesigner2;
    const bool links = attached && m_designer.m_bReportLinks;
    const bool pointer = attached && m_designer.m_bReportPointer;
    if (m_pOwner == nullptr) {
        return;
    }
    if (links && kind == QLatin1String("linkdown")) {
        m_pOwner->OnViewLinkDown(href);
    } else if (links && kind == QLatin1String("linkup")) {
        m_pOwner->OnViewLinkUp(href);
    } else if (pointer && kind == QLatin1String("pointermove")) {
        m_pOwner->OnViewPointerMove(QCursor::pos());
    } else if (pointer && kind == QLatin1String("pointerout")) {
        m_pOwner->OnViewPointerOut(QCursor::pos());
    }
}

bool CMLHtmlView::event(QEvent* event) {
    // The engine draws into a child widget that it makes when it needs one; input for the
    // page goes there, so that is where the filter sits.
    if (event->type() == QEvent::ChildPolished) {
        auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child());
        if (child != nullptr && child != m_pFilteredChild) {
            child->installEventFilter(this);
            m_pFilteredChild = child;
        }
    }
    return QWebEngineView::event(event);
}

bool CMLHtmlView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            // Right-button presses never reach the page.
            return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
            // F5 never reloads the page.
            return static_cast<QKeyEvent*>(event)->key() == Qt::Key_F5;
        case QEvent::MouseMove:
            // No drag selection or dragging of page content.
            return (static_cast<QMouseEvent*>(event)->buttons() & Qt::LeftButton) != 0;
        default:
            return QWebEngineView::eventFilter(watched, event);
    }
}

}  // namespace tavrin::ui
