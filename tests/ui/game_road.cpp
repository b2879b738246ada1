#include "game_road.h"

#include <algorithm>

#include <QStringList>

#include "app/config.h"
#include "flow/flash_protocol.h"
#include "ui/game_window.h"
#include "ui/login_window.h"
#include "ui/shell_open.h"
#include "ui/tavrin_app.h"
#include "ui_support.h"

namespace tavrin::ui {

using test::WaitFor;

void GameRoad::SetUp() {
    ASSERT_FALSE(m_service.Origin().empty()) << "the demo service did not start";
    m_tmp.Write("config.ini",
                "[config]\nconfigUrl=" + m_service.Url("/rzt/?c=index&a=micnf&yid=") + "\n");
    const Loaded<PlatformConfigData> platform = LoadPlatformConfig(m_tmp / "config.ini");
    ASSERT_TRUE(platform) << platform.failure;
    m_platform = *platform.value;
    test::RecordOutsideCalls(m_opened, m_messages, m_answer);
    CLauncherWindows* windows = &test::App()->Windows();
    QObject::connect(windows, &CLauncherWindows::gameWindowOpened, windows, [this, windows] {
        // Listens to every call the new movie makes.
        QObject::connect(Game()->FlashControl(), &CShockwaveflash1::FlashCall, windows,
                         [this](const QString& request) {
                             const std::string name = FlashRequestName(request.toStdString());
                             m_movieCalls.push_back(name);
                             if (name == "tavrinDemoState") {
                                 const int at = request.indexOf(QLatin1String("<string>"));
                                 const int end = request.indexOf(QLatin1String("</string>"));
                                 m_movieState = request.mid(at + 8, end - at - 8);
                             }
                         });
    });
}

void GameRoad::TearDown() {
    test::StopRecordingOutsideCalls();
    QObject::disconnect(&test::App()->Windows(), &CLauncherWindows::gameWindowOpened, nullptr,
                        nullptr);
}

CFlashPayer* GameRoad::Game() const {
    return test::App()->Windows().GameWindow();
}

CMLHtmlView* GameRoad::LoginView() const {
    return test::App()->Windows().LoginWindow()->ControlLayer().View();
}

void GameRoad::EnterGame(const char* server) {
    test::App()->Flow().ShowLogin(m_platform);
    ASSERT_TRUE(WaitFor([this] { return LoginView()->title().contains("Tavrin"); }));
    LoginView()->page()->runJavaScript(
        QStringLiteral("document.getElementById('server').value = '%1'; document.forms[0].submit()")
            .arg(QLatin1String(server)));
    ASSERT_TRUE(WaitFor([this] { return Game() != nullptr && Game()->isVisible(); }));
}

QString GameRoad::MovieState(const QString& key) const {
    for (const QString& pair : m_movieState.split(QLatin1Char(';'))) {
        if (pair.startsWith(key + QLatin1Char('='))) {
            return pair.mid(key.size() + 1);
        }
    }
    return {};
}

bool GameRoad::WaitForMovieState(const QString& key, const QString& value) {
    const bool reached = WaitFor([&] { return MovieState(key) == value; });
    if (!reached) {
        ADD_FAILURE() << key.toStdString() << " never became " << value.toStdString()
                      << "; last report: " << m_movieState.toStdString();
    }
    return reached;
}

QString GameRoad::AskArena(const QString& action) {
    return Game()->CallFlashFunction(QStringLiteral("tavrinDemo"), {action});
}

QPoint GameRoad::StagePoint(int x, int y) const {
    const QSize view = Game()->FlashControl()->size();
    const double scale = std::min(view.width() / 1000.0, view.height() / 600.0);
    return {static_cast<int>((view.width() - 1000 * scale) / 2 + x * scale),
            static_cast<int>((view.height() - 600 * scale) / 2 + y * scale)};
}

}  // namespace tavrin::ui
