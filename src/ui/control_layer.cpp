#include "ui/control_layer.h"

#include <utility>

#include <QMouseEvent>

#include "flow/login_rules.h"
#include "ui/window_drag.h"

namespace tavrin::ui {

namespace {

CRedrawButton CControlLayerDlg::*ButtonFor(LoginButtonId id) {
    switch (id) {
        case LoginButtonId::kOfficial:
            return &CControlLayerDlg::m_btnOfficial;
        case LoginButtonId::kRecharge:
            return &CControlLayerDlg::m_btnRecharge;
        case LoginButtonId::kForum:
            return &CControlLayerDlg::m_btnForum;
        case LoginButtonId::kService:
            return &CControlLayerDlg::m_btnService;
        case LoginButtonId::kMinimise:
            return &CControlLayerDlg::m_btnMinimize;
        case LoginButtonId::kClose:
            break;
    }
    return &CControlLayerDlg::m_btnClose;
}

const QRect kViewRect(kLoginViewBox.left, kLoginViewBox.top, kLoginViewBox.width,
                      kLoginViewBox.height);

}  // namespace

CControlLayerDlg::CControlLayerDlg(QWidget* owner, LauncherEvents& events)
    : QWidget(owner),
      m_btnOfficial(this),
      m_btnRecharge(this),
      m_btnForum(this),
      m_btnService(this),
      m_btnMinimize(this),
      m_btnClose(this),
      m_pOwner(owner),
      m_events(events) {
    // Nothing of the layer itself is painted: the login picture shows through everywhere
    // but on the buttons and the browser.
    setAttribute(Qt::WA_TranslucentBackground);
}

void CControlLayerDlg::OnInitDialog() {
    for (const LoginButton& place : kLoginButtons) {
        CRedrawButton& button = this->*ButtonFor(place.id);
        button.m_nImage = place.images;
        button.SizeToImage();
        button.move(place.x, place.y);
        button.setAccessibleName(QString::fromUtf8(place.name));
    }
    const std::pair<CRedrawButton*, LoginLink> links[] = {
        {&m_btnOfficial, LoginLink::kOfficial},
        {&m_btnRecharge, LoginLink::kRecharge},
        {&m_btnForum, LoginLink::kForum},
        {&m_btnService, LoginLink::kService},
    };
    for (const auto& [button, link] : links) {
        connect(button, &QAbstractButton::clicked, this,
                [this, link = link] { m_events.LinkClicked(link); });
    }
    connect(&m_btnMinimize, &QAbstractButton::clicked, this, [this] { m_pOwner->showMinimized(); });
    connect(&m_btnClose, &QAbstractButton::clicked, this, [this] { m_events.CloseRequested(); });

    auto* placeholder = new QWidget(this);
    placeholder->setObjectName(QStringLiteral("1002"));
    placeholder->setGeometry(kViewRect);
    m_pView = new CMLHtmlView(this);
    m_pView->CreateInDialog(this, placeholder);
}

void CControlLayerDlg::Navigate(const std::string& address) {
    m_pView->m_strURL = address;
    m_pView->m_bAttachDesigner = false;
    m_pView->m_bMessagesToOwner = false;
    m_pView->m_bAttachDesigner2 = false;
    m_pView->m_designer.m_bReportLinks = false;
    m_pView->m_designer.m_bReportPointer = false;
    m_pView->Navigate(m_pView->m_strURL);
}

void CControlLayerDlg::OnPageComplete() {
    if (!m_events.IsVerification(m_pView->GetLocationURL())) {
        emit pageCompleted();
        return;
    }
    // The address goes to the operator exactly as the browser asked for it: operators sign
    // its query or carry JSON in it, which the view's own form of it would rewrite.
    m_pView->ReadPageAddress([this](const std::string& address) {
        m_events.VerificationReached(address);
        emit pageCompleted();
    });
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
    // The layer is part of the login window, so one move carries both.
    m_pOwner->move(m_pOwner->pos() + delta);
}

void CControlLayerDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_bDragging) {
        event->ignore();
        return;
    }
    m_bDragging = false;
}

}  // namespace tavrin::ui
