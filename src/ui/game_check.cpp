#include "ui/game_check.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>

#include "app/app_globals.h"
#include "app/config.h"
#include "app/program_paths.h"
#include "app/swf_info.h"
#include "flow/flash_protocol.h"
#include "platform/memory_status.h"
#include "platform/url_fetch.h"
#include "ui/browser_profile.h"
#include "ui/flash_player.h"
#include "ui/tavrin_app.h"

namespace tavrin::ui {

const char* const kGameCheckUsage =
    "       tavrin --check-game URL [--flash-vars VARS] [--sockets LIST] [--seconds N]\n"
    "                           [--screenshot FILE]\n";

namespace {

constexpr int kExitRan = 0;
constexpr int kExitDidNotRun = 1;
constexpr int kExitUsage = 2;
// Movies are fetched whole for their header; larger ones are said to be too large.
constexpr std::size_t kMaxMovieBytes = 256u << 20;

struct CheckOptions {
    std::string movie;
    std::string flashVars;
    std::string sockets;  // as a client configuration's "sockets"
    std::string screenshot;
    int seconds = 8;
};

bool ParseCheckOptions(int argc, char** argv, CheckOptions& out, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg.rfind("--log-level=", 0) == 0) {
            continue;  // the launcher's main has taken it
        }
        if (!hasValue) {
            error = arg + " needs a value, or is not an option of the check";
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--check-game") {
            out.movie = value;
        } else if (arg == "--flash-vars") {
            out.flashVars = value;
        } else if (arg == "--sockets") {
            out.sockets = value;
        } else if (arg == "--screenshot") {
            out.screenshot = value;
        } else if (arg == "--seconds") {
            char* end = nullptr;
            const long seconds = std::strtol(value.c_str(), &end, 10);
            if (end == value.c_str() || *end != '\0' || seconds < 1 || seconds > 600) {
                error = "--seconds takes 1 to 600";
                return false;
            }
            out.seconds = static_cast<int>(seconds);
        } else if (arg != "--log-level") {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (!platform::IsWebAddress(out.movie)) {
        error = "--check-game takes the movie's http or https address";
        return false;
    }
    return true;
}

void Print(const char* key, const QString& value) {
    std::printf("%s=%s\n", key, value.toUtf8().constData());
}

// Names with how often each came, in the order they first came.
class Tally {
public:
    void Add(const QString& name) {
        for (auto& [known, count] : m_counts) {
            if (known == name) {
                ++count;
                return;
            }
        }
        m_counts.emplace_back(name, 1);
    }
    void PrintAll(const char* key) const {
        for (const auto& [name, count] : m_counts) {
            Print(key, count == 1 ? name : QStringLiteral("%1 (%2 times)").arg(name).arg(count));
        }
    }

private:
    std::vector<std::pair<QString, int>> m_counts;
};

struct Report {
    bool started = false;
    QJsonObject movie;
    QString failure;
    Tally calls;
    Tally commands;
    Tally sockets;
    Tally fonts;  // device fonts the movie asked for that the system does not have
    Tally warnings;
    Tally errors;
};

// What the movie's file says, from a fetch of its own.
void PrintFormat(const std::string& movie) {
    platform::FetchLimits limits;
    limits.maxBodyBytes = kMaxMovieBytes;
    limits.totalTimeoutMs = 60000;
    std::string bytes;
    std::string error;
    SwfInfo info;
    if (!platform::FetchUrlBody(movie, g_strBaseName, bytes, limits, &error)) {
        Print("format", QStringLiteral("not fetched: ") + QString::fromStdString(error));
        return;
    }
    if (!ReadSwfInfo(bytes, info, &error)) {
        Print("format", QStringLiteral("not a movie: ") + QString::fromStdString(error));
        return;
    }
    Print("format", QStringLiteral("SWF %1, compression %2, %3 bytes")
                        .arg(info.version)
                        .arg(QString::fromLatin1(CompressionName(info.compression)))
                        .arg(info.fileLength));
    if (info.bodyRead) {
        Print("script", QString::fromLatin1(ScriptName(info.script)));
        Print("stage", QStringLiteral("%1x%2").arg(info.stageWidth).arg(info.stageHeight));
        Print("frameRate", QString::number(info.frameRate));
        Print("frames", QString::number(info.frameCount));
    }
}

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

// One line of the player's log. Its lines carry the console's styling: "%cWARN%c
// core/src/library.rs:567%c Unknown device font ... color: orange; ...".
void Classify(Report& report, bool error, const QString& line) {
    static const QRegularExpression styled(
        QStringLiteral("^%c(ERROR|WARN|INFO|DEBUG|TRACE)%c \\S+%c (.*?)( color: .*)?$"));
    // Sockets the configuration does not list never reach the launcher: the player says so.
    static const QRegularExpression unlisted(
        QStringLiteral("Missing WebSocket proxy for host (\\S+), port (\\d+)"));
    static const QRegularExpression font(QStringLiteral("Unknown device font \"([^\"]*)\""));
    const QRegularExpressionMatch parts = styled.match(line.simplified());
    const QString level = parts.hasMatch() ? parts.captured(1) : QString();
    const QString text = parts.hasMatch() ? parts.captured(2) : line.simplified();
    if (const QRegularExpressionMatch m = unlisted.match(text); m.hasMatch()) {
        report.sockets.Add(
            m.captured(1) + QLatin1Char(':') + m.captured(2) +
            QStringLiteral(" refused: neither listed nor on a host the movie may name"));
    } else if (const QRegularExpressionMatch m = font.match(text); m.hasMatch()) {
        report.fonts.Add(m.captured(1));
    } else if (error || level == QLatin1String("ERROR")) {
        report.errors.Add(text);
    } else if (level == QLatin1String("WARN")) {
        report.warnings.Add(text);
    }
}

void Watch(CShockwaveflash1& player, Report& report) {
    QObject::connect(&player, &CShockwaveflash1::FlashCall, [&](const QString& request) {
        const std::string name = FlashRequestName(request.toStdString());
        report.calls.Add(QString::fromStdString(name));
        platform::MemoryStatus memory;
        // Answered as the game window answers it: some movies wait for it.
        if (name == "GetSysMem" && platform::ReadMemoryStatus(memory)) {
            player.SetReturnValue(QString::fromStdString(
                FormatSysMemReply(memory.totalBytes, memory.availableBytes)));
        }
    });
    QObject::connect(&player, &CShockwaveflash1::FSCommand,
                     [&](const QString& command, const QString&) { report.commands.Add(command); });
    QObject::connect(&player, &CShockwaveflash1::MovieStarted, [&](const QJsonObject& movie) {
        report.started = true;
        report.movie = movie;
    });
    QObject::connect(&player, &CShockwaveflash1::PlayerFailed, [&](const QString& reason) {
        report.failure = reason;
        QTimer::singleShot(500, qApp, &QCoreApplication::quit);  // the page has said it
    });
    QObject::connect(&player, &CShockwaveflash1::SocketAnswered,
                     [&](const QString& endpoint, const QString& outcome) {
                         report.sockets.Add(endpoint + QLatin1Char(' ') + outcome);
                     });
    QObject::connect(&player, &CShockwaveflash1::PlayerMessage,
                     [&](bool error, const QString& text) { Classify(report, error, text); });
}

void PrintReport(const Report& report, bool drew) {
    Print("started", report.started ? QStringLiteral("1") : QStringLiteral("0"));
    if (report.started) {
        const QJsonObject& m = report.movie;
        Print("player", QStringLiteral("SWF %1, %2, %3x%4, %5 frames a second")
                            .arg(m.value(QStringLiteral("swfVersion")).toInt())
                            .arg(m.value(QStringLiteral("isActionScript3")).toBool()
                                     ? QStringLiteral("ActionScript 3")
                                     : QStringLiteral("ActionScript 1/2"))
                            .arg(m.value(QStringLiteral("width")).toDouble())
                            .arg(m.value(QStringLiteral("height")).toDouble())
                            .arg(m.value(QStringLiteral("frameRate")).toDouble()));
    }
    Print("drew", drew ? QStringLiteral("1") : QStringLiteral("0"));
    report.calls.PrintAll("externalInterface");
    report.commands.PrintAll("fscommand");
    report.sockets.PrintAll("socket");
    report.fonts.PrintAll("missingFont");
    report.warnings.PrintAll("warning");
    report.errors.PrintAll("error");
}

}  // namespace

int RunGameCheck(int argc, char** argv) {
    CheckOptions options;
    std::string error;
    if (!ParseCheckOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tavrin: %s\nusage:\n%s", error.c_str(), kGameCheckUsage);
        return kExitUsage;
    }
    g_strBaseName = ComputeBaseName(GetModulePath());
    KeepBrowserDataForThisRunOnly();
    CTavrinApp::PrepareProcess();
    QApplication app(argc, argv);
    Print("movie", QString::fromStdString(options.movie));
    PrintFormat(options.movie);

    Report report;
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
    // eat into it; a movie that has not started within the time does not run at all. The look
    // at the screen comes while the player still runs, at the end of the time.
    bool drew = false;
    QTimer::singleShot(options.seconds * 1000, &app, [&] {
        if (!report.started) {
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

    PrintReport(report, drew);
    player.reset();
    ReleaseLauncherProfile();
    if (!report.failure.isEmpty() || !report.started) {
        Print("result",
              QStringLiteral("did not run: ") +
                  (report.failure.isEmpty()
                       ? QStringLiteral("the movie did not start within %1 s").arg(options.seconds)
                       : report.failure));
        return kExitDidNotRun;
    }
    Print("result", QStringLiteral("ran"));
    return kExitRan;
}

}  // namespace tavrin::ui
