#include "ui/tavrin_app.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/diagnostics.h"
#include "app/program_paths.h"
#include "app/version.h"
#include "game/player_font.h"
#include "platform/system_paths.h"
#include "ui/browser_profile.h"
#include "ui/ruffle_scheme.h"

namespace tavrin::ui {

namespace {

// Flags for the engine, after those the environment gives it (which win):
// - The engine compiles the player's WebAssembly (14 MB) function by function as it first
//   runs, as newer browsers do by default, instead of all of it before the movie starts: the
//   movie's first frame comes some 400 ms sooner.
// - The pages' processes keep the priority of the launcher. This engine runs them as
//   background processes (nice 5) even while their windows are shown, and a game then
//   stalls for seconds whenever other programs keep the processor busy.
// - Below the debug level, the engine's own chatter (its context dump, its complaints about
//   the graphics driver and the session bus) stays out of the terminal and the log: only
//   its fatal errors show. The player's own messages come through the launcher's log.
void SetEngineFlags() {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const auto add = [&flags](const char* name, const char* flag) {
        if (!flags.contains(name)) {
            flags += (flags.isEmpty() ? "" : " ") + QByteArray(flag);
        }
    };
    add("--js-flags", "--js-flags=--wasm-lazy-compilation");
    add("--disable-renderer-backgrounding", "--disable-renderer-backgrounding");
    if (CurrentLogLevel() != LogLevel::kDebug) {
        add("--log-level", "--log-level=3");
        // QT_LOGGING_RULES, when set, still decides.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

}  // namespace

void CTavrinApp::PrepareProcess() {
    // The browser views share one graphics context with the windows that hold them.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterRuffleScheme();
    SetEngineFlags();
}

CTavrinApp::CTavrinApp(int& argc, char** argv, const ViewsWatch& watch)
    : QApplication(argc, argv), m_flow(m_services, watch ? watch(m_windows) : m_windows) {
    InstallChineseQtTranslations();
}

void CTavrinApp::InstallChineseQtTranslations() {
    // The launcher speaks Chinese whatever the system's language: Qt's own words in its
    // dialogs (是, 否, 确定) must match the texts above them.
    auto* translator = new QTranslator(this);
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        Diagnose(
            "tavrin: Qt's Chinese translations are missing; dialogs show their "
            "buttons in English");
        delete translator;
        return;
    }
    installTranslator(translator);
}

CTavrinApp::~CTavrinApp() {
    // Pages and views must be gone before the browser profile is released.
    m_windows.DeleteWindows();
    ReleaseLauncherProfile();
}

bool CTavrinApp::InitInstance() {
    g_strBaseName = m_strBaseName.empty() ? ComputeBaseName(GetModulePath()) : m_strBaseName;
    // From here on every diagnostic line is also kept, for whoever helps the player.
    SetDiagnosticsFile(DiagnosticsFileFor(platform::UserStateFolder(), g_strBaseName));
    Diagnose("tavrin: version %s starting as %s", kLauncherVersionText, g_strBaseName.c_str());
    // Settings would live under this name; the launcher stores none.
    setApplicationName(QString::fromLocal8Bit(g_strBaseName));
    setOrganizationName(QString::fromLocal8Bit(g_strBaseName));
    m_services.Configure(m_strIniPath.empty() ? ConfigIniPath() : m_strIniPath, g_strBaseName);
    // Ready long before a game window asks for it.
    PreparePlayerFont(PlayerFontCacheFolder());
    if (m_flow.Start()) {
        exec();
    }
    // Pages and views must be gone before the browser profile is released, replaced game
    // windows still waiting for their deletion included.
    m_windows.DeleteWindows();
    ReleaseLauncherProfile();
    return false;
}

}  // namespace tavrin::ui
