// The borderless windows on a screen scaled as the process was started (QT_SCALE_FACTOR: the
// build runs these tests at 1, 1.5 and 2, a process for each): the geometry, shape and hit
// areas stay in logical pixels, and at a whole-number scale every pixel of the artwork shows
// as it was drawn for that scale, so at 200 % the finer pictures are not an enlargement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "app/config.h"
#include "ui/game_window.h"
#include "ui/login_window.h"
#include "ui/message_box.h"
#include "ui/shell_open.h"
#include "ui/tavrin_app.h"
#include "ui_support.h"

namespace tavrin::ui {
namespace {

using test::WaitFor;

qreal ScreenRatio() {
    return QGuiApplication::primaryScreen()->devicePixelRatio();
}

// What the screen shows of `area` (logical pixels, in the window), in device pixels.
QImage OnScreen(QWidget* window, const QRect& area) {
    const QRect global(window->mapToGlobal(area.topLeft()), area.size());
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, global.x(), global.y(), global.width(), global.height())
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

// At a whole-number scale the screen shows the picture drawn for it pixel for pixel (those
// of its pixels that are opaque: without a compositor the rest come out black). Returns how
// many differ.
int DifferingPixels(QWidget* window, const QRect& area, const QString& resource) {
    const int scale = qRound(ScreenRatio());
    const QString suffix = scale == 2 ? QStringLiteral("@2x") : QString();
    const QString path =
        QStringLiteral(":/res/%1").arg(resource).replace(QStringLiteral("."), suffix + ".");
    const QImage picture(path);
    EXPECT_FALSE(picture.isNull()) << path.toStdString();
    // A button may be placed smaller than its picture, which then shows its top-left part.
    const QImage art = picture.copy(QRect(QPoint(0, 0), area.size() * scale));
    const QImage shown = OnScreen(window, area);
    EXPECT_EQ(shown.size(), area.size() * scale) << resource.toStdString();
    // The shape is the normal picture's, in logical pixels: the finer picture's opaque
    // pixels outside it do not show.
    const QRegion shape = window->mask();
    int differing = 0;
    for (int y = 0; y < std::min(art.height(), shown.height()); ++y) {
        for (int x = 0; x < std::min(art.width(), shown.width()); ++x) {
            const QRgb want = art.pixel(x, y);
            const QPoint logical = area.topLeft() + QPoint(x / scale, y / scale);
            const bool inShape = shape.isEmpty() || shape.contains(logical);
            differing += inShape && qAlpha(want) == 255 &&
                         (want & 0xFFFFFF) != (shown.pixel(x, y) & 0xFFFFFF);
        }
    }
    return differing;
}

bool WholeNumberScale() {
    return qFuzzyCompare(ScreenRatio(), std::round(ScreenRatio()));
}

QString ScaleName() {
    return QStringLiteral("@%1x").arg(ScreenRatio());
}

class ScaledWindows : public ::testing::Test {
protected:
    void SetUp() override {
        m_platform.minMainPage = "about:blank";
        m_platform.officialUrl = "http://127.0.0.1:1/official";
        m_platform.rechargeUrl = "http://127.0.0.1:1/recharge";
        m_platform.bbsUrl = "http://127.0.0.1:1/forum";
        m_platform.svrUrl = "http://127.0.0.1:1/service";
        test::RecordOutsideCalls(m_opened, m_messages, m_answer);
    }
    void TearDown() override { test::StopRecordingOutsideCalls(); }

    // Presses at `at` in the window and lets go `by` further, as the pointer would: it ends
    // over another point of the window if the window has followed it.
    static void DragWindow(QWidget* widget, QPoint at, QPoint by) {
        QWindow* window = widget->windowHandle();
        const QPoint pointer = widget->mapToGlobal(at) + by;
        QTest::mousePress(window, Qt::LeftButton, {}, at);
        QTest::mouseMove(window, at + by);
        QTest::mouseRelease(window, Qt::LeftButton, {}, widget->mapFromGlobal(pointer));
    }

    static void ClickWindow(QWidget* widget, QPoint at) {
        QTest::mouseClick(widget->windowHandle(), Qt::LeftButton, {}, at);
    }

    PlatformConfigData m_platform;
    std::vector<std::string> m_opened;
    std::vector<QString> m_messages;
    const MessageAnswer m_answer = MessageAnswer::kNo;
};

TEST_F(ScaledWindows, TheLoginWindowKeepsItsLogicalGeometryHitAreasAndSharpPictures) {
    test::App()->Flow().ShowLogin(m_platform);
    CTavrinDlg* dlg = test::App()->Windows().LoginWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg));
    EXPECT_EQ(dlg->size(), QSize(862, 543));
    EXPECT_EQ(dlg->ControlLayer().geometry(), QRect(22, 59, 791, 462));
    EXPECT_EQ(dlg->ControlLayer().m_btnService.geometry(), QRect(577, 21, 86, 26));
    const QRegion shape = dlg->mask();
    EXPECT_TRUE(shape.contains(QPoint(400, 300)));
    EXPECT_FALSE(shape.contains(QPoint(861, 542)));
    EXPECT_EQ(shape.boundingRect().united(dlg->rect()), dlg->rect());

    test::Pump(std::chrono::milliseconds(300));
    test::SaveScreenshot(dlg, QStringLiteral("login-window") + ScaleName());

    // The link buttons answer where they are drawn, in logical pixels.
    const QPoint layer(22, 59);
    for (const int x : {307, 397, 487, 577}) {
        ClickWindow(dlg, layer + QPoint(x + 43, 21 + 13));
    }
    EXPECT_EQ(m_opened, (std::vector<std::string>{m_platform.officialUrl, m_platform.rechargeUrl,
                                                  m_platform.bbsUrl, m_platform.svrUrl}));
    // The picture and the layer's top band drag the window by as much as the pointer moved.
    const QPoint start = dlg->pos();
    DragWindow(dlg, QPoint(8, 300), QPoint(40, 25));
    ASSERT_TRUE(WaitFor([&] { return dlg->pos() == start + QPoint(40, 25); }));
    DragWindow(dlg, layer + QPoint(100, 50), QPoint(-10, 5));
    ASSERT_TRUE(WaitFor([&] { return dlg->pos() == start + QPoint(30, 30); }));

    if (WholeNumberScale()) {
        // The logo with its fine outline, and a link button over the picture.
        EXPECT_EQ(DifferingPixels(dlg, QRect(0, 0, 300, 59), QStringLiteral("146.png")), 0);
        EXPECT_EQ(DifferingPixels(dlg, QRect(layer + QPoint(307, 21), QSize(86, 26)),
                                  QStringLiteral("149.png")),
                  0);
    }
    dlg->hide();
}

TEST_F(ScaledWindows, TheGameWindowKeepsItsHitAreasAndSharpFrame) {
    test::RecordedEvents events;
    ClientConfigData config;
    config.title = "T";
    auto* game = new CFlashPayer(events, config);
    game->OnInitDialog();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(game));
    game->RestoreAction();
    ASSERT_TRUE(WaitFor([&] { return game->m_btnMaximize.isVisible(); }));
    const int width = game->width();
    EXPECT_EQ(game->m_btnClose.geometry(), QRect(width - 29, 0, 27, 29));
    EXPECT_EQ(game->m_btnRefresh.geometry(), QRect(width - 156, 5, 44, 19));

    test::Pump(std::chrono::milliseconds(300));
    test::SaveScreenshot(game, QStringLiteral("game-window") + ScaleName());
    if (WholeNumberScale()) {
        // The title icon at its own size, and a title button drawn over the captured frame.
        EXPECT_EQ(DifferingPixels(game, QRect(5, 5, 20, 20), QStringLiteral("143.bmp")), 0);
        EXPECT_EQ(DifferingPixels(game, game->m_btnClose.geometry(), QStringLiteral("180.png")), 0);
    }

    ClickWindow(game, game->m_btnRefresh.geometry().center());
    EXPECT_EQ(events.reported, std::vector<std::string>{"refresh"});
    const QPoint start = game->pos();
    DragWindow(game, QPoint(300, 10), QPoint(30, 20));
    ASSERT_TRUE(WaitFor([&] { return game->pos() == start + QPoint(30, 20); }));
    game->Retire();
}

}  // namespace
}  // namespace tavrin::ui
