#include "ui_support.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWebEnginePage>
#include <QWidget>

#include "ui/shell_open.h"
#include "ui/tavrin_app.h"

namespace tavrin::test {

ui::CTavrinApp* App() {
    return static_cast<ui::CTavrinApp*>(QCoreApplication::instance());
}

bool RecordedEvents::IsVerification(const std::string& address) const {
    return address.find("/verify") != std::string::npos;
}

void RecordedEvents::VerificationReached(const std::string& address) {
    reported.push_back("verification " + address);
}

void RecordedEvents::LinkClicked(LoginLink link) {
    reported.push_back("link " + std::to_string(static_cast<int>(link)));
}

void RecordOutsideCalls(std::vector<std::string>& opened, std::vector<QString>& messages,
                        const MessageAnswer& answer) {
    ui::SetOpenUrlHook([&opened](const std::string& url) { opened.push_back(url); });
    ui::SetMessageBoxHook([&messages, &answer](const ui::MessageRequest& request) {
        messages.push_back(request.text);
        return answer;
    });
}

void StopRecordingOutsideCalls() {
    ui::SetOpenUrlHook({});
    ui::SetMessageBoxHook({});
}

void PrepareTestProcess() {
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    // Without a session bus Qt's accessibility bridge still looks for one the first time a
    // widget gets an accessible name, and under the sanitizers that look now and then
    // never returns. The tests need no bus.
    if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    }
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limit.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void Pump(std::chrono::milliseconds time) {
    WaitFor([] { return false; }, time);
}

void SaveScreenshot(QWidget* window, const QString& name) {
    const QString folder =
        qEnvironmentVariable("TAVRIN_TEST_ARTIFACTS", QStringLiteral(TAVRIN_TEST_ARTIFACTS_DIR));
    if (folder.isEmpty() || window == nullptr) {
        return;
    }
    QDir().mkpath(folder);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect frame = window->frameGeometry();
    // The screen as the player sees it, so translucency and the shape show as they are.
    const QPixmap shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    shot.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

QString PageResult(QWebEnginePage* page, const QString& script) {
    QString result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& value) {
        result = value.toString();
        done = true;
    });
    WaitFor([&] { return done; });
    return result;
}

std::string HtmlPage(const std::string& body, const std::string& head) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\">" + head + "</head><body>" + body +
           "</body></html>";
}

}  // namespace tavrin::test
