// Helpers for tests that drive real windows under a (virtual) display.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <QString>

#include "flow/launcher_events.h"
#include "ui/message_box.h"

class QWebEnginePage;
class QWidget;

namespace tavrin::ui {
class CTavrinApp;
}

namespace tavrin::test {

// The one application object of the test program.
ui::CTavrinApp* App();

// What a window reports, for windows tested on their own: "refresh", "quit", "close",
// "link N", "verification ADDRESS".
class RecordedEvents : public LauncherEvents {
public:
    bool IsVerification(const std::string& address) const override;
    void VerificationReached(const std::string& address) override;
    void LinkClicked(LoginLink link) override;
    void RefreshAsked() override { reported.push_back("refresh"); }
    void MovieAskedRefresh() override { reported.push_back("movie refresh"); }
    void QuitAsked() override { reported.push_back("quit"); }
    void CloseRequested() override { reported.push_back("close"); }

    std::vector<std::string> reported;
};

// Settings every window test needs before its application object exists: the browser
// engine refuses to run as root unless its sandbox is off, and no session bus is looked for.
void PrepareTestProcess();

// Runs the event loop until `done` holds or the time is up; returns `done()`.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = std::chrono::seconds(20));

// Runs a script in the page and waits for its result, as text (empty when it has none).
QString PageResult(QWebEnginePage* page, const QString& script);

// Lets the event loop run for a while (for things that must NOT happen).
void Pump(std::chrono::milliseconds time);

// Saves what the screen shows of the widget's window as <artifacts>/<name>.png, where
// <artifacts> is $TAVRIN_TEST_ARTIFACTS, else the build's test-artifacts folder.
void SaveScreenshot(QWidget* window, const QString& name);

// Records, instead of doing them, what the launcher would open in the player's browser and
// the texts of its message boxes, each answered with `answer` as it is then.
// StopRecordingOutsideCalls brings the real ones back.
void RecordOutsideCalls(std::vector<std::string>& opened, std::vector<QString>& messages,
                        const MessageAnswer& answer);
void StopRecordingOutsideCalls();

// An HTML page as an HTTP reply.
std::string HtmlPage(const std::string& body, const std::string& head = "");

}  // namespace tavrin::test
