#include "ui/shell_open.h"

#include <cstdio>

#include <QDesktopServices>
#include <QUrl>

#include "app/diagnostics.h"
#include "platform/url_fetch.h"

namespace tavrin::ui {

namespace {
std::function<void(const std::string&)>& Hook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}
}  // namespace

void SetOpenUrlHook(std::function<void(const std::string&)> hook) {
    Hook() = std::move(hook);
}

void OpenInDefaultBrowser(const std::string& address) {
    if (address.empty()) {
        return;
    }
    // Addresses come from the operator's documents and pages: only web pages are opened,
    // never a file, a share or another program's protocol.
    if (!platform::IsWebAddress(address)) {
        Diagnose("refused to open %s: only http and https addresses are opened", address.c_str());
        return;
    }
    if (Hook()) {
        Hook()(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(QString::fromLocal8Bit(address)));
}

}  // namespace tavrin::ui
