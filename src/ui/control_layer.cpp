#include "ui/control_layer.h"

#include <ctime>

#include <QMouseEvent>

#include "app/config.h"
#include "app/diagnostics.h"
#include "ui/browser_profile.h"
#include "ui/core/login_rules.h"
#include "ui/login_window.h"
#include "ui/message_box.h"
#include "ui/shell_open.h"
#include "ui/tavrin_app.h"

namespace tavrin::ui {

namespace {

struct ButtonPlace {
    CRedrawButton CControlLayerDlg::*button;
    ButtonImages images;
    QPoint position;
};

// Pictures (normal, hover, pressed, focused, disabled) and places of the six buttons.
const ButtonPlace kButtons[] = {
    {&CControlLayerDlg::m_btnOfficial, {149, 148, 147, 149, 149}, {307, 21}},
    {&CControlLayerDlg::m_btnRecharge, {152, 151, 153, 152, 152}, {397, 21}},
    {&CControlLayerDlg::m_btnForum, {155, 154, 150, 155, 155}, {487, 21}},
    {&CControlLayerDlg::m_btnService, {158, 157, 156, 158, 158}, {577, 21}},
    {&CControlLayerDlg::m_btnMinimize, {164, 163, 159, 164, 164}, {674, 11}},
    {&CControlLayerDlg::m_btnClose, {161, 160, 162, 161, 161}, {699, 11}},
};

const QRect kViewRect(32, 78, 692, 346);

}  // namespace

CControlLayerDlg::CControlLayerDlg(CTavrinDlg* owner)
    : QWidget(owner),
      m_btnOfficial(this),
      m_btnRecharge(this),
      m_btnForum(this),
      m_btnService(this),
      m_btnMinimize(this),
      m_btnClose(this),
      m_pOwner(owner) {
    // Nothing of the layer itself is painted: the login picture shows through everywhere
    // but on the buttons and the browser.
    setAttribute(Qt::WA_TranslucentBackground);
}

void CControlLayerDlg::OnInitDialog() {
    for (const ButtonPlace& place : kButtons) {
        CRedrawButton& button = this->*place.button;
        button.m_nImage = place.images;
        button.SizeToImage();
        button.move(place.position);
    }
    m_btnOfficial.setAccessibleName(tr("官网"));
    m_btnRecharge.setAccessibleName(tr("游戏充值"));
    m_btnForum.setAccessibleName(tr("官方论坛"));
    m_btnService.setAccessibleName(tr("客服"));
    m_btnMinimize.setAccessibleName(tr("最小化"));
    m_btnClose.setAccessibleName(tr("关闭"));
    connect(&m_btnOfficial, &QAbstractButton::clicked, this,
            [] { OpenInDefaultBrowser(PlatformConfig.officialUrl); });
    connect(&m_btnRecharge, &QAbstractButton::clicked, this,
            [] { OpenInDefaultBrowser(PlatformConfig.rechargeUrl); });
    connect(&m_btnForum, &QAbstractButton::clicked, this,
            [] { OpenInDefaultBrowser(PlatformConfig.bbsUrl); });
    connect(&m_btnService, &QAbstractButton::clicked, this,
            [] { OpenInDefaultBrowser(PlatformConfig.svrUrl); });
    connect(&m_btnMinimize, &QAbstractButton::clicked, this, [this] { m_pOwner->showMinimized(); });
    connect(&m_btnClose, &QAbstractButton::clicked, this, [] { TheApp()->RunExitSequence(); });

    auto* placeholder = new QWidget(this);
    placeholder->setObjectName(QStringLiteral("1002"));
    placeholder->setGeometry(kViewRect);
    m_pView = new CMLHtmlView(this);
    m_pView->CreateInDialog(this, placeholder);
    NavigateTo(PlatformConfig.minMainPage);
}

void CControlLayerDlg::NavigateTo(const std::string& address) {
    m_pView->m_strURL = address;
    m_pView->m_bAttachDesigner = false;
    m_pView->m_bMessagesToOwner = false;
    m_pView->m_bAttachDesigner2 = false;
    m_pView->m_designer.m_bReportLinks = false;
    m_pView->m_designer.m_bReportPointer = false;
    m_pView->Navigate(m_pView->m_strURL);
}

void CControlLayerDlg::ReloadAreaPage() {
    NavigateTo(
        BuildAreaPageUrl(ClientConfig.area_url, static_cast<std::int64_t>(std::time(nullptr))));
}

void CControlLayerDlg::ShowBlankPage() {
    NavigateTo("about:blank");
}

void CControlLayerDlg::OnPageComplete() {
    if (!IsVerifiedAddress(m_pView->GetLocationURL(), PlatformConfig.szVerify)) {
        emit pageCompleted();
        return;
    }
    // The address goes to the operator exactly as the browser asked for it: operators sign
    // its query or carry JSON in it, which the view's own form of it would rewrite.
    m_pView->ReadPageAddress([this](const std::string& address) {
        if (IsVerifiedAddress(address, PlatformConfig.szVerify)) {
            EnterGameFrom(address);
        }
        emit pageCompleted();
    });
}

void CControlLayerDlg::EnterGameFrom(const std::string& address) {
    CTavrinApp* app = TheApp();
    std::string failure;
    // The verification address may look at the session the login page started. One that
    // cannot be fetched or read is no way into the game, least of all into the last one's.
    while (!LoadClientConfig(address, BrowserCookies(), &failure)) {
        app->ShowLoginWindow();
        const QString text =
            tr("暂时无法进入游戏，请稍后重试。\n原因：") + QString::fromStdString(failure);
        if (ShowMessage(m_pOwner, text, MessageKind::kRetryCancel) != MessageAnswer::kRetry) {
            Diagnose("tavrin: the game was not entered: its client configuration is missing");
            LeaveVerification();
            return;
        }
    }
    if (ClientConfig.isOpen) {
        app->OpenGameWindow();
        if (!app->IsEnding()) {
            ShowBlankPage();
        }
        return;
    }
    app->ShowLoginWindow();
    LeaveVerification();
    OpenInDefaultBrowser(ClientConfig.errorPage);
}

void CControlLayerDlg::LeaveVerification() {
    if (m_pView->CanGoBackToPage()) {
        m_pView->GoBack();
    } else {
        // After a refresh: behind the verification lies the blank page the game left, which
        // would leave the player an empty window. The login page instead.
        NavigateTo(PlatformConfig.minMainPage);
    }
}

void CControlLayerDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !InLayerDragBand(at.y())) {
        // Below the band the login picture shows through, and so does the press: the
        // login window drags itself from there.
        event->ignore();
        return;
    }
    if (!StartSystemMove(m_pOwner)) {
        m_bDragging = true;
        m_ptDragStart = at;
    }
}

void CControlLayerDlg::mouseMoveEvent(QMouseEvent* event) {
    if (!m_bDragging) {
        event->ignore();
        return;
    }
    const QPoint delta = event->position().toPoint() - m_ptDragStart;
    m_pOwner->JoinedMove(QRect(m_pOwner->pos() + delta, m_pOwner->size()));
}

void CControlLayerDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_bDragging) {
        event->ignore();
        return;
    }
    m_bDragging = false;
}

}  // namespace tavrin::ui
