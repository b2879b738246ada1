#include "ui/game_check.h"

#include <cstdio>
#include <memory>
#include <string>

#include <QApplication>
#include <QImage>
#include <QJsonObject>
#include <QScreen>
#include <QTimer>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/launcher_command.h"
#include "app/program_paths.h"
#include "flow/flash_protocol.h"
#include "game/game_check.h"
#include "platform/memory_status.h"
#include "ui/browser_profile.h"
#include "ui/flash_player.h"
#include "ui/tavrin_app.h"

namespace tavrin::ui {

namespace {

// True when the player shows more than one colour on the screen (where the browser engine
// draws, which the widget's own picture does not hold): the movie drew something.
bool DrewSomething(QWidget* player, const std::string& screenshot) {
    const QRect area(player->mapToGlobal(QPoint(0, 0)), player->size());
    const QImage shot =
        player->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    if (!screenshot.empty()) {
        shot.save(QString::fromLocal8Bit(screenshot));
    }
    if (shot.isNull()) {
        return false;
    }
    const QRgb first = shot.pixel(0, 0);
    for (int y = 0; y < shot.height(); y += 4) {
        for (int x = 0; x < shot.width(); x += 4) {
            if (shot.pixel(x, y) != first) {
                return true;
            }
        }
    }
    return false;
}

PageMessage::Movie MovieOf(const QJsonObject& movie) {
    PageMessage::Movie out;
    out.swfVersion = movie.value(QStringLiteral("swfVersion")).toInt();
    out.actionScript3 = movie.value(QStringLiteral("isActionScript3")).toBool();
    out.width = movie.value(QStringLiteral("width")).toDouble();
    out.height = movie.value(QStringLiteral("height")).toDouble();
    out.frameRate = movie.value(QStringLiteral("frameRate")).toDouble();
    return out;
}

void Watch(CShockwaveflash1& player, GameCheckReport& report) {
    QObject::connect(&player, &CShockwaveflash1::FlashCall, [&](const QString& request) {
        const std::string name = FlashRequestName(request.toStdString());
        report.Called(name);
        platform::MemoryStatus memory;
        // Answered as the game window answers it: some movies wait for it.
        if (name == "GetSysMem" && platform::ReadMemoryStatus(memory)) {
            player.SetReturnValue(QString::fromStdString(
                FormatSysMemReply(memory.totalBytes, memory.availableBytes)));
        }
    });
    QObject::connect(
        &player, &CShockwaveflash1::FSCommand,
        [&](const QString& command, const QString&) { report.Commanded(command.toStdString()); });
    QObject::connect(&player, &CShockwaveflash1::MovieStarted,
                     [&](const QJsonObject& movie) { report.Started(MovieOf(movie)); });
    QObject::connect(&player, &CShockwaveflash1::PlayerFailed, [&](const QString& reason) {
        report.Failed(reason.toStdString());
        QTimer::singleShot(500, qApp, &QCoreApplication::quit);  // the page has said it
    });
    QObject::connect(&player, &CShockwaveflash1::SocketAnswered,
                     [&](const QString& endpoint, const QString& outcome) {
                         report.SocketAnswered(endpoint.toStdString(), outcome.toStdString());
                     });
    QObject::connect(
        &player, &CShockwaveflash1::PlayerMessage,
        [&](bool error, const QString& text) { report.PlayerLine(error, text.toStdString()); });
}

}  // namespace

int RunGameCheck(int argc, char** argv) {
    GameCheckOptions options;
    std::string error;
    if (!ParseGameCheckOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tavrin: %s (tavrin --help says more)\n", error.c_str());
        return kExitUsage;
    }
    g_strBaseName = ComputeBaseName(GetModulePath());
    KeepBrowserDataForThisRunOnly();
    CTavrinApp::PrepareProcess();
    QApplication app(argc, argv);
    PrintCheckLine("movie", options.movie);
    PrintMovieFormat(options.movie);

    GameCheckReport report;
    auto player = std::make_unique<CShockwaveflash1>();
    Watch(*player, report);
    player->resize(800, 600);
    player->show();
    PutGamePlayerOptions(*player);
    player->put_FlashVars(QString::fromStdString(options.flashVars));
    player->ReportPlayerWarnings();
    player->SetSocketEndpoints(ParseSocketList(options.sockets));
    player->put_Movie(QString::fromStdString(options.movie));
    // The movie plays its time from its first frame, so a slow machine's player start does not
    // eat into it; a movie that has not started within kCheckStartSeconds does not run at all.
    // The look at the screen comes while the player still runs, at the end of the time.
    bool drew = false;
    QTimer::singleShot(kCheckStartSeconds * 1000, &app, [&] {
        if (!report.HasStarted()) {
            QCoreApplication::quit();
        }
    });
    QObject::connect(player.get(), &CShockwaveflash1::MovieStarted, &app, [&] {
        QTimer::singleShot(options.seconds * 1000, &app, [&] {
            drew = DrewSomething(player.get(), options.screenshot);
            QCoreApplication::quit();
        });
    });
    app.exec();

    player.reset();
    ReleaseLauncherProfile();
    return report.Finish(drew);
}

}  // namespace tavrin::ui
