// CControlLayerDlg: the interactive surface over the login picture. It carries the browser
// with the operator's login page, four link buttons, minimise and close, and watches the
// page loads: a page that reaches the verification address is reported, with its address
// exactly as the browser asked for it.
#pragma once

#include <string>

#include <QPoint>
#include <QWidget>

#include "flow/launcher_events.h"
#include "flow/login_rules.h"
#include "ui/html_view.h"
#include "ui/redraw_button.h"

namespace tavrin::ui {

class CControlLayerDlg : public QWidget, public CMLHtmlViewOwner {
    Q_OBJECT

public:
    // The layer's place on the login window and its size.
    static constexpr QPoint kOffset{kControlLayerBox.left, kControlLayerBox.top};
    static constexpr QSize kSize{kControlLayerBox.width, kControlLayerBox.height};

    // Lies over `owner`, the login window, and moves it; reports to `events`.
    CControlLayerDlg(QWidget* owner, LauncherEvents& events);

    // Builds the buttons and the browser view.
    void OnInitDialog();
    void Navigate(const std::string& address);
    // Runs when the document of the browser's latest navigation has loaded.
    void OnPageComplete();

    CMLHtmlView* View() const { return m_pView; }

    CRedrawButton m_btnOfficial;
    CRedrawButton m_btnRecharge;
    CRedrawButton m_btnForum;
    CRedrawButton m_btnService;
    CRedrawButton m_btnMinimize;
    CRedrawButton m_btnClose;

    // CMLHtmlViewOwner
    long OnViewBeforeNavigate() override { return 1; }
    long OnViewNavigateComplete() override { return 1; }
    void OnViewDocumentComplete() override { OnPageComplete(); }

signals:
    // A document of the browser has completed and has been looked at.
    void pageCompleted();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* m_pOwner;
    LauncherEvents& m_events;
    CMLHtmlView* m_pView = nullptr;
    bool m_bDragging = false;
    QPoint m_ptDragStart;
};

}  // namespace tavrin::ui
