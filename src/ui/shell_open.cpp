#include "ui/shell_open.h"

#include <QDesktopServices>
#include <QUrl>

namespace tavrin::ui {

namespace {
std::function<void(const std::string&)>& Hook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}
}  // namespace

void SetOpenUrlHook(std::function<void(const std::string&)> hook) { Hook() = std::move(hook); }

void OpenInDefaultBrowser(const std::string& address) {
    if (address.empty()) {
        return;
    }
    if (Hook()) {
        Hook()(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(QString::fromLocal8Bit(address)));
}

}  // namespace tavrin::ui
