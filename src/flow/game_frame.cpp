#include "flow/game_frame.h"

#include <algorithm>

namespace tavrin {

namespace {

constexpr int kCornerZone = 10;
constexpr int kEdgeZone = 3;

constexpr int kRefreshCommand = 32785;
constexpr int kExitCommand = 32779;

constexpr int kVkReturn = 0x0D;
constexpr int kVkEscape = 0x1B;
constexpr int kVkF5 = 0x74;

struct Span {
    int start;
    int extent;
};

// One axis of a frame rectangle. A metric of 0 or less would give an empty or negative
// window, so it is taken as unknown rather than as a cap.
Span FitAxis(int wanted, int available) {
    if (available <= 0) {
        return {0, wanted};
    }
    const int extent = std::min(available, wanted);
    return {(available - extent) / 2, extent};
}

Rect RectAt(int x, int y, int width, int height) {
    return {x, y, x + width, y + height};
}

// A stretched blit into an inverted target mirrors the picture; an empty target draws nothing.
Rect Uninverted(Rect r) {
    r.right = std::max(r.left, r.right);
    r.bottom = std::max(r.top, r.bottom);
    return r;
}

}  // namespace

Rect FrameRect(Size frameSize, const ScreenMetrics& screen) {
    const Span x = FitAxis(frameSize.width, screen.screenWidth);
    const Span y = FitAxis(frameSize.height, screen.workAreaBottom);
    return RectAt(x.start, y.start, x.extent, y.extent);
}

Rect GetLargeRect(const ScreenMetrics& screen) {
    return FrameRect(kLargeFrameSize, screen);
}

Rect GetSmallRect(const ScreenMetrics& screen) {
    return FrameRect(kSmallFrameSize, screen);
}

std::optional<std::array<ControlPlace, 6>> PlaceGameControls(Size client) {
    const int w = client.width;
    const int h = client.height;
    if (w <= 0 || h <= 0) {
        return std::nullopt;
    }
    // The Flash control fills what the frame leaves; a window smaller than the frame leaves
    // it nothing rather than a negative size.
    const int flashWidth = std::max(0, w - 2 * kBorderWidth);
    const int flashHeight = std::max(0, h - kTitleStripHeight - kBorderWidth);
    return std::array<ControlPlace, 6>{{
        {kCloseButtonId, RectAt(w - 29, 0, 27, 29)},
        {kMaximiseButtonId, RectAt(w - 56, 0, 27, 29)},
        {kRestoreButtonId, RectAt(w - 56, 0, 27, 29)},
        {kMinimiseButtonId, RectAt(w - 82, 0, 26, 29)},
        {kRefreshButtonId, RectAt(w - 156, 5, 44, 19)},
        {kFlashControlId, RectAt(kBorderWidth, kTitleStripHeight, flashWidth, flashHeight)},
    }};
}

FramePlacement PlaceFrame(FrameChoice choice, const ScreenMetrics& screen) {
    if (choice == FrameChoice::kLarge) {
        return {GetLargeRect(screen), kRestoreButtonId, kMaximiseButtonId};
    }
    return {GetSmallRect(screen), kMaximiseButtonId, kRestoreButtonId};
}

HitCode GameWindowHitTest(Size window, Point client) {
    const int x = client.x;
    const int y = client.y;
    const int right = window.width;
    const int bottom = window.height;
    // The order matters: corners before edges. The bottom-left corner's strict x < 10 is how
    // the frame has always behaved, unlike the other three corners.
    if (x <= kCornerZone && y <= kCornerZone) {
        return HitCode::kTopLeft;
    }
    if (x >= right - kCornerZone && y <= kCornerZone) {
        return HitCode::kTopRight;
    }
    if (x < kCornerZone && y >= bottom - kCornerZone) {
        return HitCode::kBottomLeft;
    }
    if (x >= right - kCornerZone && y >= bottom - kCornerZone) {
        return HitCode::kBottomRight;
    }
    if (x <= kEdgeZone) {
        return HitCode::kLeft;
    }
    if (x >= right - kEdgeZone) {
        return HitCode::kRight;
    }
    // The top edge stays client area so that the title strip can be dragged right up to it.
    if (y <= kEdgeZone) {
        return HitCode::kClient;
    }
    if (y >= bottom - kEdgeZone) {
        return HitCode::kBottom;
    }
    return HitCode::kClient;
}

std::optional<SizingEdges> SizingEdgesFor(HitCode code) {
    switch (code) {
        case HitCode::kLeft:
            return SizingEdges{.left = true};
        case HitCode::kRight:
            return SizingEdges{.right = true};
        case HitCode::kTop:
            return SizingEdges{.top = true};
        case HitCode::kTopLeft:
            return SizingEdges{.left = true, .top = true};
        case HitCode::kTopRight:
            return SizingEdges{.top = true, .right = true};
        case HitCode::kBottom:
            return SizingEdges{.bottom = true};
        case HitCode::kBottomLeft:
            return SizingEdges{.left = true, .bottom = true};
        case HitCode::kBottomRight:
            return SizingEdges{.right = true, .bottom = true};
        case HitCode::kClient:
            break;
    }
    return std::nullopt;
}

TrackSizes GetTrackSizes(const ScreenMetrics& screen) {
    const Rect small = GetSmallRect(screen);
    const Rect large = GetLargeRect(screen);
    return {{small.Width(), small.Height()}, {large.Width(), large.Height()}};
}

Size ClampToTrackSizes(Size proposed, const TrackSizes& limits) {
    // Written so that the maximum wins should the limits ever cross; std::clamp would be
    // undefined then.
    return {std::min(std::max(proposed.width, limits.minimum.width), limits.maximum.width),
            std::min(std::max(proposed.height, limits.minimum.height), limits.maximum.height)};
}

Rect SizeFrameByDrag(const Rect& start, const SizingEdges& edges, Point delta,
                     const TrackSizes& limits) {
    const Size proposed{start.Width() + (edges.right ? delta.x : 0) - (edges.left ? delta.x : 0),
                        start.Height() + (edges.bottom ? delta.y : 0) - (edges.top ? delta.y : 0)};
    const Size size = ClampToTrackSizes(proposed, limits);
    Rect r = start;
    // The edge that is not dragged is the anchor.
    if (edges.left) {
        r.left = r.right - size.width;
    } else {
        r.right = r.left + size.width;
    }
    if (edges.top) {
        r.top = r.bottom - size.height;
    } else {
        r.bottom = r.top + size.height;
    }
    return r;
}

bool InTitleDragBand(int clientY) {
    return clientY >= 1 && clientY <= kTitleStripHeight;
}

std::array<FramePiece, 5> FramePaintLayout(Size client) {
    const int w = client.width;
    const int h = client.height;
    const int b = kBorderWidth;
    return {{
        {kLeftBorderBitmap, Uninverted({0, 0, b, h}), true},
        {kRightBorderBitmap, Uninverted({w - b, 0, w, h}), true},
        {kTitleStripBitmap, Uninverted({b, 0, w - b, kTitleStripHeight}), true},
        {kBottomBorderBitmap, Uninverted({0, h - b, w, h}), true},
        {kIconBitmap, {5, 5, 25, 25}, false},
    }};
}

std::string GameWindowCaption(const std::string& baseName, const std::string& title) {
    return baseName + "(" + title + ")";
}

GameCommand GameCommandFor(int commandId) {
    switch (commandId) {
        case kRefreshButtonId:
        case kRefreshCommand:
            return GameCommand::kRefresh;
        case kMinimiseButtonId:
            return GameCommand::kMinimise;
        case kMaximiseButtonId:
            return GameCommand::kMaximise;
        case kRestoreButtonId:
            return GameCommand::kRestore;
        case kCloseButtonId:
            return GameCommand::kQuit;
        case kExitCommand:
            return GameCommand::kExit;
        default:
            return GameCommand::kNone;
    }
}

GameKeyAction GameKeyActionFor(int virtualKey) {
    switch (virtualKey) {
        case kVkReturn:
            return GameKeyAction::kForwardToMovie;
        case kVkF5:
            return GameKeyAction::kRefresh;
        case kVkEscape:
            return GameKeyAction::kSwallow;
        default:
            return GameKeyAction::kDefault;
    }
}

RefreshStep TakeRefreshAnswer(bool answeredYes, bool& gameLoaded) {
    if (!answeredYes) {
        return RefreshStep::kReturnFocus;
    }
    if (!gameLoaded) {
        return RefreshStep::kAlreadyPending;
    }
    gameLoaded = false;
    return RefreshStep::kReloadAreaPage;
}

}  // namespace tavrin
