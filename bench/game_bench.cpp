// Measures the road into the game against the configuration in config.ini beside it (on the
// demo's server named by the first argument, default 1): the
// time from the login page sending the player to the verification address until the game
// movie's first frame runs (its first call to the launcher), and the launcher's memory
// (its own and its browser processes') after the movie has played for five seconds.
#include <cstdio>
#include <functional>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include "app/config.h"
#include "ui/game_window.h"
#include "ui/login_window.h"
#include "ui/tavrin_app.h"

namespace {

long long PssKiB(const QString& pid) {
    long long total = 0;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (rollup.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : rollup.readAll().split('\n')) {
            if (line.startsWith("Pss:")) {
                total += line.mid(4).trimmed().split(' ').first().toLongLong();
            }
        }
    }
    return total;
}

// What kind of process it is: the browser engine's processes say so in their arguments.
QByteArray KindOf(const QString& pid) {
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly)) {
        return "?";
    }
    for (const QByteArray& arg : cmdline.readAll().split('\0')) {
        if (arg.startsWith("--type=")) {
            return arg.mid(7);
        }
    }
    return "launcher";
}

// Memory of a process and all its descendants, in KiB: the proportional set size, so that
// pages the browser processes share are counted once, not once per process. Each process
// is listed on stderr.
long long ResidentKiB(const QString& pid) {
    long long total = PssKiB(pid);
    std::fprintf(stderr, "  %s %s: %lld KiB\n", qPrintable(pid), KindOf(pid).constData(), total);
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (children.open(QIODevice::ReadOnly)) {
        for (const QByteArray& child : children.readAll().split(' ')) {
            if (!child.trimmed().isEmpty()) {
                total += ResidentKiB(QString::fromLatin1(child.trimmed()));
            }
        }
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavrin::ui;
    CTavrinApp::PrepareProcess();
    CTavrinApp app(argc, argv);
    // The demo's server to enter: "1" plays the ActionScript 2 demo, "3" the AS3 arena.
    const QString server = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("1");
    QElapsedTimer clock;
    bool submitted = false;
    bool firstFrame = false;
    QTimer step;
    // Where the time goes, on the error output: each step's time since the verification.
    const auto mark = [&clock](const char* step) {
        std::fprintf(stderr, "  step %s %lld ms\n", step, clock.elapsed());
    };
    QObject::connect(&app.Windows(), &tavrin::ui::CLauncherWindows::gameWindowOpened, [&] {
        mark("game_window_opened");
        CShockwaveflash1* player = app.Windows().GameWindow()->FlashControl();
        QObject::connect(player, &QWebEngineView::loadFinished,
                         [&] { mark("player_page_loaded"); });
        QObject::connect(player, &CShockwaveflash1::MovieStarted, [&] { mark("movie_started"); });
        QObject::connect(player, &CShockwaveflash1::FlashCall, [&] {
            if (firstFrame) {
                return;
            }
            firstFrame = true;
            std::printf("verification_to_first_frame_ms %lld\n", clock.elapsed());
            QTimer::singleShot(5000, [&] {
                std::printf("memory_while_playing_kib %lld\n",
                            ResidentKiB(QString::number(QCoreApplication::applicationPid())));
                std::fflush(stdout);
                app.Flow().CloseRequested();
            });
        });
    });
    QObject::connect(&step, &QTimer::timeout, [&] {
        tavrin::ui::CTavrinDlg* login = app.Windows().LoginWindow();
        if (submitted || login == nullptr) {
            return;
        }
        CMLHtmlView* view = login->ControlLayer().View();
        if (!view->title().contains(QStringLiteral("Tavrin"))) {
            return;  // the login page is not there yet
        }
        submitted = true;
        clock.start();
        view->page()->runJavaScript(
            QStringLiteral(
                "document.getElementById('server').value = '%1'; document.forms[0].submit()")
                .arg(server));
    });
    step.start(10);
    QTimer::singleShot(60000, [&] { app.Flow().CloseRequested(); });
    app.InitInstance();
    return firstFrame ? 0 : 1;
}
