// CControlLayerDlg: the interactive surface over the login picture. It carries the browser
// with the operator's login page, four link buttons, minimise and close, and watches the
// page loads: a page that reaches the verification address leads into the game.
#pragma once

#include <string>

#include <QPoint>
#include <QWidget>

#include "ui/html_view.h"
#include "ui/redraw_button.h"

namespace tavrin::ui {

class CTavrinDlg;

class CControlLayerDlg : public QWidget, public CMLHtmlViewOwner {
    Q_OBJECT

public:
    // The layer's place on the login window and its size.
    static constexpr QPoint kOffset{22, 59};
    static constexpr QSize kSize{791, 462};

    explicit CControlLayerDlg(CTavrinDlg* owner);

    // Builds the buttons and the browser view and loads the login page.
    void OnInitDialog();
    // Sends the browser back through the area page, with a fresh time parameter.
    void ReloadAreaPage();
    void ShowBlankPage();
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
    void NavigateTo(const std::string& address);
    // Fetches the client configuration at the verified address and opens the game, or says
    // why it cannot be entered now, or leaves for the operator's error page.
    void EnterGameFrom(const std::string& address);
    // Back to the page before the verification, or to the login page.
    void LeaveVerification();

    CTavrinDlg* m_pOwner;
    CMLHtmlView* m_pView = nullptr;
    bool m_bDragging = false;
    QPoint m_ptDragStart;
};

}  // namespace tavrin::ui
