// The user-interface tests share one application object, as the program does.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/app_globals.h"
#include "ui/ruffle_scheme.h"
#include "ui/tavrin_app.h"
#include "ui_support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    tavrin::test::PrepareTestProcess();
    // The browser profile goes to a folder of this run, never to the user's own.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    tavrin::ui::CTavrinApp::PrepareProcess();
    tavrin::ui::CTavrinApp app(argc, argv);
    tavrin::g_strBaseName = "tavrin_ui_tests";
    // The player the build installed beside the launcher.
    tavrin::ui::SetRuffleFolder(QStringLiteral(TAVRIN_RUFFLE_DIR));
    return RUN_ALL_TESTS();
}
