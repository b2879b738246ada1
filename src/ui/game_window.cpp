#include "ui/game_window.h"

#include <cstdio>

#include <QChildEvent>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <QtMath>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/diagnostics.h"
#include "platform/memory_status.h"
#include "ui/core/flash_protocol.h"
#include "ui/login_window.h"
#include "ui/message_box.h"
#include "ui/tavrin_app.h"

namespace tavrin::ui {

namespace {

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

Qt::CursorShape CursorFor(HitCode code) {
    switch (code) {
        case HitCode::kLeft:
        case HitCode::kRight:
            return Qt::SizeHorCursor;
        case HitCode::kBottom:
        case HitCode::kTop:
            return Qt::SizeVerCursor;
        case HitCode::kTopLeft:
        case HitCode::kBottomRight:
            return Qt::SizeFDiagCursor;
        case HitCode::kTopRight:
        case HitCode::kBottomLeft:
            return Qt::SizeBDiagCursor;
        case HitCode::kClient:
            break;
    }
    return Qt::ArrowCursor;
}

Qt::Edges EdgesOf(const SizingEdges& e) {
    Qt::Edges edges;
    edges.setFlag(Qt::LeftEdge, e.left);
    edges.setFlag(Qt::TopEdge, e.top);
    edges.setFlag(Qt::RightEdge, e.right);
    edges.setFlag(Qt::BottomEdge, e.bottom);
    return edges;
}

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

CFlashPayer::CFlashPayer()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_btnMinimize(this),
      m_btnMaximize(this),
      m_btnRestore(this),
      m_btnRefresh(this),
      m_btnClose(this),
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
    setWindowTitle(QString::fromLocal8Bit(GameWindowCaption(g_strBaseName, ClientConfig.title)));
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

void CFlashPayer::LoadFrameBitmaps(qreal devicePixelRatio) {
    m_bmpTitle = LoadResourcePicture(kTitleStripBitmap, "bmp", devicePixelRatio);
    m_bmpBottom = LoadResourcePicture(kBottomBorderBitmap, "bmp", devicePixelRatio);
    m_bmpLeft = LoadResourcePicture(kLeftBorderBitmap, "bmp", devicePixelRatio);
    m_bmpRight = LoadResourcePicture(kRightBorderBitmap, "bmp", devicePixelRatio);
    m_bmpIcon = LoadResourcePicture(kIconBitmap, "bmp", devicePixelRatio);
    m_bitmapsForRatio = devicePixelRatio;
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
    m_pFlash->put_FlashVars(QString::fromLocal8Bit(ClientConfig.flashVars));
    std::vector<std::string> rejected;
    m_pFlash->SetSocketEndpoints(ParseSocketList(ClientConfig.sockets, &rejected));
    for (const std::string& entry : rejected) {
        Diagnose("client configuration: \"%s\" is not a game server (host:port)", entry.c_str());
    }
    m_pFlash->put_Movie(QString::fromLocal8Bit(ClientConfig.mainFlash));
    show();
    if (isMinimized()) {
        showNormal();
        update();
    }
    raise();
    activateWindow();
    m_bGameLoaded = true;
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
    m_bGameLoaded = false;
    if (CTavrinApp* app = TheApp(); app != nullptr && app->m_pLoginDlg != nullptr) {
        app->m_pLoginDlg->ControlLayer().ReloadAreaPage();
    }
}

bool CFlashPayer::AskYesNo(const QString& text, MessageIcon icon) {
    ++m_nOpenQuestions;
    const bool yes = ShowMessage(this, text, MessageKind::kYesNo, icon) == MessageAnswer::kYes;
    --m_nOpenQuestions;
    if (m_bRetired && m_nOpenQuestions == 0 && !m_pFlash->InNestedWait()) {
        deleteLater();  // after the handler that asked has returned
    }
    return yes;
}

void CFlashPayer::Retire() {
    hide();
    m_bGameLoaded = false;
    if (!m_bRetired && m_nOpenQuestions == 0 && !m_pFlash->InNestedWait()) {
        deleteLater();
    }
    m_bRetired = true;
}

void CFlashPayer::RefreshGame() {
    const bool yes = AskYesNo(tr("是否刷新游戏?"), MessageIcon::kNone);
    if (m_bRetired) {
        return;  // a new game window has come while the box was open
    }
    switch (TakeRefreshAnswer(yes, m_bGameLoaded)) {
        case RefreshStep::kReturnFocus:
            m_pFlash->setFocus();
            break;
        case RefreshStep::kAlreadyPending:
            break;
        case RefreshStep::kReloadAreaPage:
            if (CTavrinApp* app = TheApp(); app != nullptr && app->m_pLoginDlg != nullptr) {
                app->m_pLoginDlg->ControlLayer().ReloadAreaPage();
            }
            break;
    }
}

void CFlashPayer::QuitGame() {
    if (!AskYesNo(tr("是否退出游戏?"), MessageIcon::kUsual)) {
        if (!m_bRetired) {
            m_pFlash->setFocus();
        }
        return;
    }
    // Even from a window replaced while the box was open: the player asked to quit.
    hide();
    TheApp()->RunExitSequence();
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

void CFlashPayer::paintEvent(QPaintEvent*) {
    // The window may have moved to a screen of another scale.
    const qreal ratio = devicePixelRatioF();
    if (!qFuzzyCompare(ratio, m_bitmapsForRatio)) {
        LoadFrameBitmaps(ratio);
    }
    // One off-screen frame, so that sizing does not flicker; the buttons draw their clear
    // pixels from it. It has the screen's resolution, so the finer pictures stay fine.
    QImage frame(QSize(qCeil(width() * ratio), qCeil(height() * ratio)), QImage::Format_RGB32);
    frame.setDevicePixelRatio(ratio);
    frame.fill(Qt::black);
    {
        QPainter p(&frame);
        for (const FramePiece& piece : FramePaintLayout({width(), height()})) {
            const QImage* bitmap = nullptr;
            switch (piece.bitmap) {
                case kTitleStripBitmap:
                    bitmap = &m_bmpTitle;
                    break;
                case kBottomBorderBitmap:
                    bitmap = &m_bmpBottom;
                    break;
                case kLeftBorderBitmap:
                    bitmap = &m_bmpLeft;
                    break;
                case kRightBorderBitmap:
                    bitmap = &m_bmpRight;
                    break;
                case kIconBitmap:
                    bitmap = &m_bmpIcon;
                    break;
            }
            if (bitmap != nullptr && !bitmap->isNull() && !piece.target.IsEmpty()) {
                DrawPicture(p, ToQRect(piece.target), *bitmap);
            }
        }
        QFont font;
        font.setFamilies({QString::fromUtf8(kTitleFontFace), QStringLiteral("Microsoft YaHei"),
                          QStringLiteral("Noto Sans CJK SC")});
        font.setPointSize(kTitleFontPointSize);
        p.setFont(font);
        p.setPen(QColor::fromRgb(kTitleTextColor));
        const QFontMetrics metrics(font);
        p.drawText(QPoint(kTitleTextOrigin.x, kTitleTextOrigin.y + metrics.ascent()),
                   QString::fromLocal8Bit(ClientConfig.title));
    }
    for (const GameControlId id : kBackgroundCaptureOrder) {
        ButtonFor(id)->CaptureBackground(frame);
    }
    QPainter(this).drawImage(0, 0, frame);
}

void CFlashPayer::resizeEvent(QResizeEvent* event) {
    LayoutControls();
    QWidget::resizeEvent(event);
}

void CFlashPayer::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (const auto edges =
            SizingEdgesFor(GameWindowHitTest({width(), height()}, {at.x(), at.y()}))) {
        // The window manager sizes the window where there is one; elsewhere we do.
        if (windowHandle() == nullptr || !windowHandle()->startSystemResize(EdgesOf(*edges))) {
            m_bSizing = true;
            m_sizingEdges = *edges;
            m_ptSizingStart = event->globalPosition().toPoint();
            m_rcSizingStart = geometry();
        }
        return;
    }
    if (InTitleDragBand(at.y()) && !StartSystemMove(this)) {
        m_bDragging = true;
        m_ptDragStart = at;
    }
    QWidget::mousePressEvent(event);
}

void CFlashPayer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (m_bDragging) {
        move(pos() + at - m_ptDragStart);
    } else if (m_bSizing) {
        const QPoint d = event->globalPosition().toPoint() - m_ptSizingStart;
        const QRect& from = m_rcSizingStart;
        const Rect r =
            SizeFrameByDrag({from.left(), from.top(), from.right() + 1, from.bottom() + 1},
                            m_sizingEdges, {d.x(), d.y()}, GetTrackSizes(CurrentScreen()));
        setGeometry(ToQRect(r));
    } else if (event->buttons() == Qt::NoButton) {
        setCursor(CursorFor(GameWindowHitTest({width(), height()}, {at.x(), at.y()})));
    }
    QWidget::mouseMoveEvent(event);
}

void CFlashPayer::mouseReleaseEvent(QMouseEvent* event) {
    m_bDragging = false;
    m_bSizing = false;
    QWidget::mouseReleaseEvent(event);
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
    TheApp()->RunExitSequence();
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
