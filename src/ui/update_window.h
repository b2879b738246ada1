// The small window that shows an update while start-up waits for it: what is happening, the
// bytes and the speed, and a button to go on without the update. Start-up shows it only when
// the check takes long enough to be noticed.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

#include <QString>
#include <QTimer>
#include <QWidget>

#include "update/update_worker.h"

class QLabel;
class QPushButton;

namespace tavrin::ui {

// "12.3 MB" style sizes (1 MB = 2^20 bytes, as players' download tools count).
QString FormatBytes(std::int64_t bytes);

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
    struct Sample {
        std::chrono::steady_clock::time_point at;
        std::int64_t received;
    };
    void OnCancel();
    // Bytes a second over the last seconds; 0 until there are two samples.
    double Speed() const;

    UpdateProgress& m_progress;
    UpdateProgressSnapshot m_shown;
    std::deque<Sample> m_samples;
    QLabel* m_pStage = nullptr;
    QLabel* m_pDetail = nullptr;
    QPushButton* m_pCancel = nullptr;
    QTimer m_refresh;
    bool m_bDragging = false;
    QPoint m_ptDragStart;
};

// Runs the update check on a thread of its own and waits for it, with the event loop
// running: after `showAfter` the update window appears and lets the player cancel. A thread
// that cannot start means no update this time.
void RunUpdateWithWindow(CUpdate& update, int& handedOver,
                         std::chrono::milliseconds showAfter = std::chrono::milliseconds(500));

}  // namespace tavrin::ui
