// The small window that shows an update while start-up waits for it: what is happening, the
// bytes and the speed, and a button to go on without the update. Start-up shows it only when
// the check takes long enough to be noticed.
#pragma once

#include <chrono>
#include <functional>

#include <QString>
#include <QTimer>
#include <QWidget>

#include "flow/update_window_text.h"
#include "update/update_progress.h"

class QLabel;
class QPushButton;

namespace tavrin::ui {

class CUpdateWnd : public QWidget {
    Q_OBJECT

public:
    explicit CUpdateWnd(UpdateProgress& progress, QWidget* parent = nullptr);

    // Reads the check's progress again and shows it; called by the window's own timer.
    void Refresh();

    // What the window says now, for tests and the log.
    QString StageText() const;
    QString DetailText() const;
    QPushButton* CancelButton() const { return m_pCancel; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnCancel();

    UpdateProgress& m_progress;
    UpdateWindowModel m_model;
    UpdateWindowText m_shown;
    QLabel* m_pStage = nullptr;
    QLabel* m_pDetail = nullptr;
    QPushButton* m_pCancel = nullptr;
    QTimer m_refresh;
    bool m_bDragging = false;
    QPoint m_ptDragStart;
};

// Runs `check` on a thread of its own and waits for it, with the event loop running: after
// `showAfter` the update window appears, follows `progress` and lets the player cancel. A
// thread that cannot start means no update this time.
void RunUpdateWithWindow(const std::function<void()>& check, UpdateProgress& progress,
                         std::chrono::milliseconds showAfter = std::chrono::milliseconds(500));

}  // namespace tavrin::ui
