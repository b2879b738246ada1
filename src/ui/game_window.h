// CFlashPayer: the game window. A frame of its own (title strip with icon, title and five
// image buttons, thin borders) around the Flash player that runs the game movie. It opens
// at the large frame size, can be dragged by its title strip and sized from its borders
// between the small and the large size.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include "app/config.h"
#include "flow/game_frame.h"
#include "flow/launcher_events.h"
#include "ui/flash_player.h"
#include "ui/message_box.h"
#include "ui/redraw_button.h"

namespace tavrin::ui {

inline QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

class CFlashPayer : public QWidget {
    Q_OBJECT

public:
    // A window for the game `config` describes, reporting to `events`.
    CFlashPayer(LauncherEvents& events, ClientConfigData config);

    // The player can run here (Ruffle present) and plays movies as Flash 11.5 or later.
    static bool CheckFlashVersion();
    // Builds the window, loads the movie and shows it.
    void OnInitDialog();
    void LoadGameMovie();
    // Calls a callback the movie registered; empty on failure.
    QString CallFlashFunction(const QString& name, const QStringList& args = {});
    // The same for a call whose result nobody uses: nothing waits for the movie.
    void NotifyFlashFunction(const QString& name, const QStringList& args = {});
    void OnFlashCall(const QString& request);
    void OnFSCommand(const QString& command, const QString& args);

    // The refresh and close buttons: the launcher asks the player first.
    void RefreshGame();
    void QuitGame();
    // A box over this window; the window is not deleted while one is open.
    MessageAnswer Ask(const QString& text, MessageKind kind, MessageIcon icon);
    // Takes the window off the screen for good, as a new game window replaces it. It is
    // deleted once no question is open over it (a box's own event loop must not delete the
    // window it belongs to).
    void Retire();
    // The movie's full screen: the player covers the screen, the frame comes back after.
    void SetFullScreen(bool on);
    bool IsFullScreen() const { return m_bFullScreen; }
    void MaximiseAction();
    void RestoreAction();
    // Lays the buttons and the player out for the current size.
    void LayoutControls();

    CShockwaveflash1* FlashControl() const { return m_pFlash; }

    CRedrawButton m_btnMinimize;
    CRedrawButton m_btnMaximize;
    CRedrawButton m_btnRestore;
    CRedrawButton m_btnRefresh;
    CRedrawButton m_btnClose;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CRedrawButton* ButtonFor(GameControlId id);
    ScreenMetrics CurrentScreen() const;
    void MoveTo(const Rect& rect);
    void ApplyTrackSizes();
    void SetupButtons();
    // The frame's pictures in the variant for a screen of this device pixel ratio.
    void LoadFrameBitmaps(qreal devicePixelRatio);
    // Keys for the whole window, the player included: F5, Enter, Esc.
    bool HandleKey(QKeyEvent* event);
    LauncherEvents& m_events;
    const ClientConfigData m_config;
    CShockwaveflash1* m_pFlash;
    QImage m_bmpTitle;
    QImage m_bmpBottom;
    QImage m_bmpLeft;
    QImage m_bmpRight;
    QImage m_bmpIcon;
    qreal m_bitmapsForRatio = 0;
    bool m_bDragging = false;
    QPoint m_ptDragStart;
    // Sizing by hand where no window manager does it.
    bool m_bSizing = false;
    SizingEdges m_sizingEdges;
    QPoint m_ptSizingStart;
    QRect m_rcSizingStart;
    int m_nOpenQuestions = 0;
    bool m_bFullScreen = false;
    QRect m_rcBeforeFullScreen;
    bool m_bRetired = false;
};

}  // namespace tavrin::ui
