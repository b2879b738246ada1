#include "flow/game_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <ostream>
#include <vector>

namespace tavrin {

void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
void PrintTo(const Size& s, std::ostream* os) {
    *os << s.width << " x " << s.height;
}

namespace {

TEST(FrameRects, CappedByTheScreenAndCentredAboveTheWorkAreaBottom) {
    const struct {
        ScreenMetrics screen;
        Rect large;
        Rect small;
    } cases[] = {
        {{1280, 984}, {0, 92, 1280, 891}, {138, 176, 1142, 807}},
        {{800, 984}, {0, 92, 800, 891}, {0, 176, 800, 807}},      // narrower than both
        {{1920, 600}, {254, 0, 1666, 600}, {458, 0, 1462, 600}},  // shorter than both
        {{1413, 800}, {0, 0, 1412, 799}, {204, 84, 1208, 715}},   // halving truncates
        {{0, 0}, {0, 0, 1412, 799}, {0, 0, 1004, 631}},           // no screen known
        {{-1, 984}, {0, 92, 1412, 891}, {0, 176, 1004, 807}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.screen.screenWidth << " / " << c.screen.workAreaBottom);
        EXPECT_EQ(GetLargeRect(c.screen), c.large);
        EXPECT_EQ(GetSmallRect(c.screen), c.small);
        const TrackSizes limits = GetTrackSizes(c.screen);
        EXPECT_EQ(limits.minimum, (Size{c.small.Width(), c.small.Height()}));
        EXPECT_EQ(limits.maximum, (Size{c.large.Width(), c.large.Height()}));
    }
}

TEST(PlaceFrame, LargeOffersRestoreAndSmallOffersMaximise) {
    const ScreenMetrics screen{1280, 984};
    const FramePlacement opened = PlaceFrame(kInitialFrameChoice, screen);
    EXPECT_EQ(opened.rect, GetLargeRect(screen));
    EXPECT_EQ(opened.shownButton, kRestoreButtonId);
    EXPECT_EQ(opened.hiddenButton, kMaximiseButtonId);
    const FramePlacement restored = PlaceFrame(FrameChoice::kSmall, screen);
    EXPECT_EQ(restored.rect, GetSmallRect(screen));
    EXPECT_EQ(restored.shownButton, kMaximiseButtonId);
    EXPECT_EQ(restored.hiddenButton, kRestoreButtonId);
}

TEST(ClampToTrackSizes, EachAxisOnItsOwn) {
    const TrackSizes limits{{1004, 631}, {1412, 799}};
    EXPECT_EQ(ClampToTrackSizes({1200, 700}, limits), (Size{1200, 700}));
    EXPECT_EQ(ClampToTrackSizes({900, 9999}, limits), (Size{1004, 799}));
    EXPECT_EQ(ClampToTrackSizes({2000, -5}, limits), (Size{1412, 631}));
    // Crossed limits never come from GetTrackSizes, but must not be undefined either.
    EXPECT_EQ(ClampToTrackSizes({50, 50}, {{100, 100}, {80, 80}}), (Size{80, 80}));
}

TEST(SizeFrameByDrag, DraggedEdgesStopAtTheLimitsAndTheOthersStay) {
    const TrackSizes limits{{1004, 631}, {1412, 799}};
    const Rect start{100, 50, 1300, 750};  // 1200 x 700
    const struct {
        SizingEdges edges;
        Point delta;
        Rect expected;
    } cases[] = {
        {{.left = true}, {-50, 0}, {50, 50, 1300, 750}},
        {{.left = true}, {-5000, 0}, {-112, 50, 1300, 750}},  // stops at the large width
        {{.left = true}, {5000, 0}, {296, 50, 1300, 750}},    // and at the small one
        {{.top = true}, {0, -5000}, {100, -49, 1300, 750}},
        {{.top = true}, {0, 5000}, {100, 119, 1300, 750}},
        {{.right = true}, {5000, 0}, {100, 50, 1512, 750}},
        {{.bottom = true}, {0, -5000}, {100, 50, 1300, 681}},
        {{.left = true, .top = true}, {-5000, -5000}, {-112, -49, 1300, 750}},
        {{.top = true, .right = true}, {30, 20}, {100, 70, 1330, 750}},
        {{.left = true, .bottom = true}, {10, 10}, {110, 50, 1300, 760}},
    };
    for (const auto& c : cases) {
        const Rect r = SizeFrameByDrag(start, c.edges, c.delta, limits);
        EXPECT_EQ(
            (std::array{r.left, r.top, r.right, r.bottom}),
            (std::array{c.expected.left, c.expected.top, c.expected.right, c.expected.bottom}))
            << c.delta.x << "," << c.delta.y;
    }
}

TEST(GameWindowHitTest, CornersThenEdgesAndTheTopEdgeIsClient) {
    const int w = 1412;
    const int h = 799;
    const struct {
        Point at;
        HitCode code;
    } cases[] = {
        {{0, 0}, HitCode::kTopLeft},        {{10, 10}, HitCode::kTopLeft},
        {{11, 10}, HitCode::kClient},       {{10, 11}, HitCode::kClient},
        {{w - 10, 0}, HitCode::kTopRight},  {{w - 11, 0}, HitCode::kClient},
        {{9, h - 1}, HitCode::kBottomLeft}, {{0, h - 10}, HitCode::kBottomLeft},
        {{10, h - 10}, HitCode::kClient},  // bottom-left is strict in x and falls through
        {{10, h - 1}, HitCode::kBottom},    {{w - 10, h - 10}, HitCode::kBottomRight},
        {{3, 400}, HitCode::kLeft},         {{4, 400}, HitCode::kClient},
        {{w - 3, 400}, HitCode::kRight},    {{w - 4, 400}, HitCode::kClient},
        {{700, 0}, HitCode::kClient},       {{700, 2}, HitCode::kClient},
        {{700, h - 3}, HitCode::kBottom},   {{700, h - 4}, HitCode::kClient},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GameWindowHitTest({w, h}, c.at), c.code) << c.at.x << ", " << c.at.y;
    }
}

TEST(SizingEdgesFor, EachSizingCodeDragsItsOwnEdges) {
    EXPECT_EQ(SizingEdgesFor(HitCode::kClient), std::nullopt);
    EXPECT_EQ(SizingEdgesFor(HitCode::kTop), (SizingEdges{.top = true}));
    EXPECT_EQ(SizingEdgesFor(HitCode::kRight), (SizingEdges{.right = true}));
    EXPECT_EQ(SizingEdgesFor(HitCode::kTopRight), (SizingEdges{.top = true, .right = true}));
    EXPECT_EQ(SizingEdgesFor(HitCode::kBottomLeft), (SizingEdges{.left = true, .bottom = true}));
}

TEST(PlaceGameControls, ButtonsAlongTheTitleStripAndFlashInsideTheFrame) {
    const auto places = PlaceGameControls({1412, 799});
    ASSERT_TRUE(places.has_value());
    const ControlPlace expected[] = {
        {kCloseButtonId, {1383, 0, 1410, 29}},   {kMaximiseButtonId, {1356, 0, 1383, 29}},
        {kRestoreButtonId, {1356, 0, 1383, 29}}, {kMinimiseButtonId, {1330, 0, 1356, 29}},
        {kRefreshButtonId, {1256, 5, 1300, 24}}, {kFlashControlId, {2, 29, 1410, 797}},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ((*places)[i].id, expected[i].id) << i;
        EXPECT_EQ((*places)[i].rect, expected[i].rect) << expected[i].id;
    }
    // Minimised: the layout is left alone. Smaller than the frame: empty, never negative.
    EXPECT_FALSE(PlaceGameControls({0, 631}).has_value());
    EXPECT_FALSE(PlaceGameControls({1004, -1}).has_value());
    EXPECT_EQ(PlaceGameControls({3, 20})->back().rect, (Rect{2, 29, 2, 29}));
}

// How many of the frame pieces (icon aside) and the Flash control reach each pixel.
std::vector<int> CoverageCounts(Size client) {
    std::vector<Rect> rects = {PlaceGameControls(client)->back().rect};
    for (const FramePiece& piece : FramePaintLayout(client)) {
        if (piece.bitmap != kIconBitmap) {
            rects.push_back(piece.target);
        }
    }
    std::vector<int> counts(static_cast<size_t>(client.width * client.height), 0);
    for (const Rect& r : rects) {
        for (int y = std::max(r.top, 0); y < std::min(r.bottom, client.height); ++y) {
            for (int x = std::max(r.left, 0); x < std::min(r.right, client.width); ++x) {
                ++counts[static_cast<size_t>(y * client.width + x)];
            }
        }
    }
    return counts;
}

TEST(FramePaintLayout, FrameAndFlashControlCoverEveryPixelOverlappingOnlyAtCorners) {
    for (const Size client : {Size{1004, 631}, Size{1412, 799}, Size{40, 31}}) {
        SCOPED_TRACE(testing::Message() << client.width << " x " << client.height);
        const std::vector<int> counts = CoverageCounts(client);
        for (int y = 0; y < client.height; ++y) {
            for (int x = 0; x < client.width; ++x) {
                const int n = counts[static_cast<size_t>(y * client.width + x)];
                const bool corner =
                    (x < 2 || x >= client.width - 2) && (y < 29 || y >= client.height - 2);
                ASSERT_GE(n, 1) << "uncovered at " << x << ", " << y;
                ASSERT_LE(n, corner ? 2 : 1) << "overlap at " << x << ", " << y;
            }
        }
    }
}

TEST(FramePaintLayout, DrawingOrderAndNoInvertedTargets) {
    const FrameBitmapId order[] = {kLeftBorderBitmap, kRightBorderBitmap, kTitleStripBitmap,
                                   kBottomBorderBitmap, kIconBitmap};
    const auto pieces = FramePaintLayout({1004, 631});
    for (size_t i = 0; i < std::size(order); ++i) {
        EXPECT_EQ(pieces[i].bitmap, order[i]) << i;
        EXPECT_EQ(pieces[i].stretched, order[i] != kIconBitmap) << order[i];
    }
    EXPECT_EQ(pieces[4].target, (Rect{5, 5, 25, 25}));
    for (const Size client : {Size{3, 40}, Size{1, 1}, Size{0, 0}}) {
        for (const FramePiece& piece : FramePaintLayout(client)) {
            EXPECT_GE(piece.target.Width(), 0) << piece.bitmap << " at width " << client.width;
            EXPECT_GE(piece.target.Height(), 0) << piece.bitmap << " at width " << client.width;
        }
    }
}

TEST(GameWindowRules, DragBandCaptionKeysAndCommands) {
    EXPECT_FALSE(InTitleDragBand(0));
    EXPECT_TRUE(InTitleDragBand(1));
    EXPECT_TRUE(InTitleDragBand(29));
    EXPECT_FALSE(InTitleDragBand(30));

    EXPECT_EQ(GameWindowCaption("Tavrin", "双线一区"), "Tavrin(双线一区)");
    EXPECT_EQ(GameWindowCaption("a.b", "%s"), "a.b(%s)");  // no second formatting pass

    EXPECT_EQ(GameKeyActionFor(0x0D), GameKeyAction::kForwardToMovie);
    EXPECT_EQ(GameKeyActionFor(0x74), GameKeyAction::kRefresh);
    EXPECT_EQ(GameKeyActionFor(0x1B), GameKeyAction::kSwallow);
    EXPECT_EQ(GameKeyActionFor(0x73), GameKeyAction::kDefault);

    EXPECT_EQ(GameCommandFor(32785), GameCommand::kRefresh);
    EXPECT_EQ(GameCommandFor(1009), GameCommand::kQuit);  // the close button asks first
    EXPECT_EQ(GameCommandFor(32779), GameCommand::kExit);
    EXPECT_EQ(GameCommandFor(1000), GameCommand::kNone);
}

TEST(TakeRefreshAnswer, TwoConfirmationsStartOneReload) {
    bool gameLoaded = true;
    EXPECT_EQ(TakeRefreshAnswer(false, gameLoaded), RefreshStep::kReturnFocus);
    EXPECT_TRUE(gameLoaded);
    EXPECT_EQ(TakeRefreshAnswer(true, gameLoaded), RefreshStep::kReloadAreaPage);
    EXPECT_FALSE(gameLoaded);
    EXPECT_EQ(TakeRefreshAnswer(true, gameLoaded), RefreshStep::kAlreadyPending);
}

}  // namespace
}  // namespace tavrin
