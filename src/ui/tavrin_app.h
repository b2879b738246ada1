// The application object: start-up in order, the switch between the login and game
// windows, and the one exit sequence every way out of the program takes.
#pragma once

#include <string>

#include <QApplication>
#include <QPointer>

#include "update/update_worker.h"

namespace tavrin::ui {

class CFlashPayer;
class CTavrinDlg;

class CTavrinApp : public QApplication {
    Q_OBJECT

public:
    // Settings that must be in place before the application object exists.
    static void PrepareProcess();

    CTavrinApp(int& argc, char** argv);
    ~CTavrinApp() override;

    // Runs start-up and then the event loop until the exit sequence ends it. Returns false
    // like the framework call it stands for; ExitCode() tells how the program ended.
    bool InitInstance();
    int ExitCode() const { return m_nExitCode; }

    void ShowLoginWindow();
    void OpenGameWindow();
    void RunExitSequence();
    // True once the exit sequence has run: no window may be opened any more.
    bool IsEnding() const { return m_bExitRequested; }
    void PrepareDataDir();
    void PruneDataDir();

    // Set by the update worker once it has started the updater: the launcher must end.
    int m_bQuitAfterUpdate = 0;
    // The update worker's argument.
    CUpdate m_update;
    // The settings file; config.ini beside the program unless a test points elsewhere.
    std::string m_strIniPath;
    // The game window; replaced at every entry after a refresh.
    QPointer<CFlashPayer> m_pGameWnd;
    // The login window; created once by ShowLoginWindow, gone after the exit sequence.
    QPointer<CTavrinDlg> m_pLoginDlg;

signals:
    // A new game window is on the screen.
    void gameWindowOpened();

private:
    void InstallChineseQtTranslations();
    bool m_bExitRequested = false;
    int m_nExitCode = 0;
};

// The one application object, or null before it exists.
CTavrinApp* TheApp();

}  // namespace tavrin::ui
