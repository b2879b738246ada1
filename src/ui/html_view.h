// CMLHtmlView: the browser view in which the operator's login page runs. It reports the
// page's navigation to its owner, lets the page call three methods on `window.external`,
// keeps F5, right-button presses and drag selection away from the page, and can report
// link presses, pointer movement and the page's message boxes to the owner (optional
// behaviours, all off unless the owner turns them on).
#pragma once

#include <functional>
#include <string>

#include <QPointer>
#include <QWebEngineView>

#include "ui/doc_host_site.h"

class QWebEngineLoadingInfo;

namespace tavrin::ui {

// What the view tells its owner. Every call but OnViewDocumentComplete is made while the
// engine waits; a method's answer of 0 (the default) means "handled as usual".
class CMLHtmlViewOwner {
public:
    virtual ~CMLHtmlViewOwner() = default;
    virtual long OnViewBeforeNavigate() { return 0; }
    virtual long OnViewNavigateComplete() { return 0; }
    // Queued after the engine has finished loading the latest navigation's document.
    virtual void OnViewDocumentComplete() {}
    virtual long OnViewPageError() { return 0; }
    virtual long OnViewNavigationError() { return 0; }
    virtual long OnViewShowMessage(const QString& /*text*/) { return 0; }
    virtual long OnViewEnterRoom(int /*room*/) { return 0; }
    virtual long OnViewInlineUrl(const std::string& /*url*/) { return 0; }
    virtual long OnViewSysSetting() { return 0; }
    virtual long OnViewLinkDown(const QString& /*href*/) { return 0; }
    virtual long OnViewLinkUp(const QString& /*href*/) { return 0; }
    virtual long OnViewPointerMove(const QPoint& /*screenPos*/) { return 0; }
    virtual long OnViewPointerOut(const QPoint& /*screenPos*/) { return 0; }
};

// The optional link and pointer reporter ("designer").
struct CHtmlViewDesigner {
    bool m_bReportLinks = false;
    bool m_bReportPointer = false;
};

class CMLHtmlView : public QWebEngineView, public CDocHostView {
    Q_OBJECT

public:
    explicit CMLHtmlView(QWidget* parent = nullptr);
    ~CMLHtmlView() override;

    // Takes the place, geometry and name of the owner's placeholder widget, which goes away.
    bool CreateInDialog(CMLHtmlViewOwner* owner, QWidget* placeholder);

    void Navigate(const std::string& address);
    // The address of the current top-level document, in the active code page.
    std::string GetLocationURL() const;
    // The page's own address (its location.href), byte for byte as the browser asked for
    // it, which GetLocationURL's form is not always; GetLocationURL when the page cannot
    // say. The answer comes later, and never once the view is gone.
    void ReadPageAddress(std::function<void(const std::string&)> answer);
    void GoBack();
    // True when going back leads to a page: not to nothing, nor to a blank page.
    bool CanGoBackToPage() const;

    CHtmlViewDesigner m_designer;
    CMLHtmlViewOwner* m_pOwner = nullptr;
    std::string m_strURL = "about:blank";
    bool m_bAttachDesigner = false;
    bool m_bMessagesToOwner = false;
    bool m_bAttachDesigner2 = false;

    // Called by the page object (CDocHostSite).
    void OnBeforeNavigate2(bool isMainFrame) override;
    // False: let the engine show its own message box.
    bool OnShowMessage(const QString& text) override;
    // Answers a call from the page's bridge script; the request is its JSON text.
    QString OnBridgeCall(const QString& request) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnLoadStarted();
    void OnLoadFinished();
    void OnLoadingChanged(const QWebEngineLoadingInfo& info);
    QString DesignerState() const;
    void ReportDesignerEvent(const QString& kind, const QString& href);

    CDocHostSite* m_pSite;
    bool m_bClosing = false;
    // Stands for the frame of the latest navigate-complete: the document-complete of that
    // navigation is reported once, and only for it.
    int m_nPendingNavigation = 0;
    int m_nNavigationCount = 0;
    QPointer<QWidget> m_pFilteredChild;
};

}  // namespace tavrin::ui
