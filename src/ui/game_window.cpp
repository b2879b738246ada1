#include "ui/game_window.h"

#include <utility>

#include <QChildEvent>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "app/app_globals.h"
#include "app/diagnostics.h"
#include "flow/flash_protocol.h"
#include "platform/memory_status.h"
#include "ui/message_box.h"

namespace tavrin::ui {

namespace {

int WindowsKeyOf(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 0x0D;
        case Qt::Key_Escape:
            return 0x1B;
        case Qt::Key_F5:
            return 0x74;
        default:
            return 0;
    }
}

}  // namespace

CFlashPayer::CFlashPayer(LauncherEvents& events, ClientConfigData config)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_btnMinimize(this),
      m_btnMaximize(this),
      m_btnRestore(this),
      m_btnRefresh(this),
      m_btnClose(this),
      m_events(events),
      m_config(std::move(config)),
      m_pFlash(new CShockwaveflash1(this)) {
    // The frame paints every pixel itself, off-screen first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    m_pFlash->setObjectName(QStringLiteral("1000"));
    m_pFlash->installEventFilter(this);
    connect(m_pFlash, &CShockwaveflash1::FlashCall, this, &CFlashPayer::OnFlashCall);
    connect(m_pFlash, &CShockwaveflash1::FSCommand, this, &CFlashPayer::OnFSCommand);
    connect(m_pFlash, &CShockwaveflash1::FullScreenRequested, this, &CFlashPayer::SetFullScreen);
    connect(m_pFlash, &CShockwaveflash1::nestedWaitEnded, this, [this] {
        if (m_bRetired && m_nOpenQuestions == 0) {
            deleteLater();
        }
    });
}

bool CFlashPayer::CheckFlashVersion() {
    // A player made only to ask, as the version belongs to the player, not to this window.
    CShockwaveflash1 probe;
    return IsFlashVersionSupported(probe.FlashVersion());
}

void CFlashPayer::OnInitDialog() {
    setWindowTitle(
        QString::fromUtf8(GameWindowCaption(CaptionName().toStdString(), m_config.title)));
    setWindowIcon(QIcon(QStringLiteral(":/res/128.png")));
    SetupButtons();
    LoadFrameBitmaps(devicePixelRatioF());
    ApplyTrackSizes();
    MoveTo(PlaceFrame(kInitialFrameChoice, CurrentScreen()).rect);
    LayoutControls();
    LoadGameMovie();
    m_pFlash->setFocus();
    // A change of the display puts the window back at the small size.
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        connect(s, &QScreen::geometryChanged, this, &CFlashPayer::RestoreAction);
    }
}

void CFlashPayer::SetupButtons() {
    for (const GameButton& b : kGameButtons) {
        CRedrawButton* button = ButtonFor(b.id);
        button->m_nImage = b.images;
        button->SizeToImage();
    }
    connect(&m_btnRefresh, &QAbstractButton::clicked, this, &CFlashPayer::RefreshGame);
    connect(&m_btnMinimize, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(&m_btnMaximize, &QAbstractButton::clicked, this, &CFlashPayer::MaximiseAction);
    connect(&m_btnRestore, &QAbstractButton::clicked, this, &CFlashPayer::RestoreAction);
    connect(&m_btnClose, &QAbstractButton::clicked, this, &CFlashPayer::QuitGame);
    // The window opens at the large size, from where the way is back to the small one.
    m_btnMaximize.hide();
    m_btnRestore.show();
}

CRedrawButton* CFlashPayer::ButtonFor(GameControlId id) {
    switch (id) {
        case kMinimiseButtonId:
            return &m_btnMinimize;
        case kMaximiseButtonId:
            return &m_btnMaximize;
        case kRestoreButtonId:
            return &m_btnRestore;
        case kRefreshButtonId:
            return &m_btnRefresh;
        case kCloseButtonId:
            return &m_btnClose;
        case kFlashControlId:
            break;
    }
    return nullptr;
}

ScreenMetrics CFlashPayer::CurrentScreen() const {
    const QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (s == nullptr) {
        return {};
    }
    return {s->geometry().width(), s->availableGeometry().bottom() + 1 - s->geometry().top()};
}

void CFlashPayer::MoveTo(const Rect& rect) {
    const QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    const QPoint origin = s != nullptr ? s->geometry().topLeft() : QPoint();
    setGeometry(ToQRect(rect).translated(origin));
}

void CFlashPayer::ApplyTrackSizes() {
    const TrackSizes limits = GetTrackSizes(CurrentScreen());
    setMinimumSize(limits.minimum.width, limits.minimum.height);
    setMaximumSize(limits.maximum.width, limits.maximum.height);
}

void CFlashPayer::LayoutControls() {
    if (m_bFullScreen) {
        // Over the frame and its buttons, which come back as they were afterwards.
        m_pFlash->setGeometry(rect());
        m_pFlash->raise();
        return;
    }
    const auto places = PlaceGameControls({width(), height()});
    if (!places) {
        return;
    }
    for (const ControlPlace& place : *places) {
        QWidget* control =
            place.id == kFlashControlId ? static_cast<QWidget*>(m_pFlash) : ButtonFor(place.id);
        control->setGeometry(ToQRect(place.rect));
    }
    update();
}

void CFlashPayer::LoadGameMovie() {
    PutGamePlayerOptions(*m_pFlash);
    m_pFlash->put_FlashVars(QString::fromLocal8Bit(m_config.flashVars));
    std::vector<std::string> rejected;
    m_pFlash->SetSocketEndpoints(ParseSocketList(m_config.sockets, &rejected));
    for (const std::string& entry : rejected) {
        Diagnose("client configuration: \"%s\" is not a game server (host:port)", entry.c_str());
    }
    m_pFlash->put_Movie(QString::fromLocal8Bit(m_config.mainFlash));
    show();
    if (isMinimized()) {
        showNormal();
        update();
    }
    raise();
    activateWindow();
}

namespace {

QString FlashRequestFor(const QString& name, const QStringList& args) {
    std::vector<std::string> values;
    for (const QString& arg : args) {
        values.push_back(arg.toStdString());
    }
    return QString::fromStdString(BuildFlashRequest(name.toStdString(), values));
}

}  // namespace

QString CFlashPayer::CallFlashFunction(const QString& name, const QStringList& args) {
    return m_pFlash->CallFunction(FlashRequestFor(name, args));
}

void CFlashPayer::NotifyFlashFunction(const QString& name, const QStringList& args) {
    m_pFlash->CallFunctionWithoutWaiting(FlashRequestFor(name, args));
}

void CFlashPayer::OnFlashCall(const QString& request) {
    if (FlashRequestName(request.toStdString()) != "GetSysMem") {
        return;  // no reply for anything else
    }
    platform::MemoryStatus memory;
    platform::ReadMemoryStatus(memory);
    m_pFlash->SetReturnValue(
        QString::fromStdString(FormatSysMemReply(memory.totalBytes, memory.availableBytes)));
}

void CFlashPayer::OnFSCommand(const QString& command, const QString&) {
    if (command != QLatin1String("GameRefresh")) {
        return;
    }
    if (!m_bRetired) {
        m_events.MovieAskedRefresh();
    }
}

MessageAnswer CFlashPayer::Ask(const QString& text, MessageKind kind, MessageIcon icon) {
    ++m_nOpenQuestions;
    const MessageAnswer answer = ShowMessage(this, text, kind, icon);
    --m_nOpenQuestions;
    if (m_bRetired && m_nOpenQuestions == 0 && !m_pFlash->InNestedWait()) {
        deleteLater();  // after the handler that asked has returned
    }
    return answer;
}

void CFlashPayer::Retire() {
    hide();
    if (!m_bRetired && m_nOpenQuestions == 0 && !m_pFlash->InNestedWait()) {
        deleteLater();
    }
    m_bRetired = true;
}

void CFlashPayer::RefreshGame() {
    m_events.RefreshAsked();
}

void CFlashPayer::QuitGame() {
    m_events.QuitAsked();
}

void CFlashPayer::SetFullScreen(bool on) {
    if (on == m_bFullScreen) {
        return;
    }
    m_bFullScreen = on;
    if (on) {
        m_rcBeforeFullScreen = geometry();
        // The track sizes would keep the window from covering the screen.
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        showFullScreen();
    } else {
        showNormal();
        ApplyTrackSizes();
        setGeometry(m_rcBeforeFullScreen);
    }
    LayoutControls();
    m_pFlash->setFocus();
}

void CFlashPayer::MaximiseAction() {
    m_btnMaximize.hide();
    m_btnRestore.show();
    MoveTo(PlaceFrame(FrameChoice::kLarge, CurrentScreen()).rect);
    m_pFlash->setFocus();
}

void CFlashPayer::RestoreAction() {
    m_btnMaximize.show();
    m_btnRestore.hide();
    ApplyTrackSizes();
    MoveTo(PlaceFrame(FrameChoice::kSmall, CurrentScreen()).rect);
    m_pFlash->setFocus();
}

void CFlashPayer::resizeEvent(QResizeEvent* event) {
    LayoutControls();
    QWidget::resizeEvent(event);
}

bool CFlashPayer::HandleKey(QKeyEvent* event) {
    if (m_bFullScreen && event->key() == Qt::Key_Escape) {
        if (event->type() == QEvent::KeyPress) {
            m_pFlash->ExitFullScreen();  // as the Flash player's own full screen did
        }
        return true;
    }
    switch (GameKeyActionFor(WindowsKeyOf(event->key()))) {
        case GameKeyAction::kRefresh:
            if (event->type() == QEvent::KeyPress) {
                RefreshGame();
            }
            return true;
        case GameKeyAction::kSwallow:
            return true;
        case GameKeyAction::kForwardToMovie:
        case GameKeyAction::kDefault:
            break;
    }
    return false;
}

void CFlashPayer::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(event)) {
        QWidget::keyPressEvent(event);
    }
}

bool CFlashPayer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ChildPolished && watched == m_pFlash) {
        // The player's page takes the keyboard in a child the engine makes; F5 and Esc are
        // ours before they get there.
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) {
            child->installEventFilter(this);
        }
    } else if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        return HandleKey(static_cast<QKeyEvent*>(event));
    }
    return QWidget::eventFilter(watched, event);
}

void CFlashPayer::closeEvent(QCloseEvent* event) {
    // Closing the window from outside ends the program at once; only the close button asks.
    event->ignore();
    hide();
    m_events.CloseRequested();
}

void CFlashPayer::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        if ((change->oldState() & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized)) {
            // Back from the task bar: the movie lays its stage out again. Nothing waits for
            // it, so no event loop runs here that could replace this window under us.
            NotifyFlashFunction(QStringLiteral("stageResize"));
        }
    }
    QWidget::changeEvent(event);
}

}  // namespace tavrin::ui
