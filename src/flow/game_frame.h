// The game window's geometry and decisions that need no window: the two frame rectangles,
// the sizing limits, hit codes, where the title-strip buttons and the Flash control go, what
// the frame paint draws where, the caption, and how keys, commands and refresh requests are
// handled. The window (CFlashPayer) only carries these out.
//
// Coordinates are pixels. A Rect is (left, top, right, bottom) with right and bottom one past
// the last pixel, as window rectangles are given: width = right - left. Frame rectangles are in
// screen coordinates; everything else is in client coordinates, whose origin is the window's
// top-left corner (the window has no system frame, so client and window coincide).
#pragma once

#include <array>
#include <optional>
#include <string>

#include "flow/button_state.h"

namespace tavrin {

struct Point {
    int x = 0;
    int y = 0;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// --- Frame sizes ------------------------------------------------------------------------

inline constexpr Size kLargeFrameSize = {1412, 799};
inline constexpr Size kSmallFrameSize = {1004, 631};

// What the frame rectangles are fitted to. Only the primary screen's width and the bottom of
// its work area count; the screen height and the work area's top and left are not used.
struct ScreenMetrics {
    int screenWidth = 0;
    int workAreaBottom = 0;  // one past the last usable row (a Qt rect's bottom() + 1)
};

// The frame size capped by the screen width and the work-area bottom, centred horizontally on
// the screen and vertically above the work-area bottom. A metric that is not positive (no
// screen known) caps nothing and the frame starts at 0 on that axis.
Rect FrameRect(Size frameSize, const ScreenMetrics& screen);
Rect GetLargeRect(const ScreenMetrics& screen);
Rect GetSmallRect(const ScreenMetrics& screen);

// --- Controls -----------------------------------------------------------------------------

enum GameControlId : int {
    kFlashControlId = 1000,
    kCloseButtonId = 1009,
    kRefreshButtonId = 1011,
    kMaximiseButtonId = 1014,
    kRestoreButtonId = 1015,
    kMinimiseButtonId = 1016,
};

struct GameButton {
    GameControlId id;
    ButtonImages images;  // normal, hover, pressed, focused, disabled
};

// Each button sizes itself to its normal picture before it is placed.
inline constexpr std::array<GameButton, 5> kGameButtons = {{
    {kRefreshButtonId, {167, 166, 165, 167, 167}},
    {kMinimiseButtonId, {176, 175, 175, 176, 176}},
    {kMaximiseButtonId, {174, 177, 177, 174, 174}},
    {kRestoreButtonId, {178, 181, 181, 178, 178}},
    {kCloseButtonId, {180, 179, 179, 180, 180}},
}};

// The order in which the buttons take their background from the painted frame.
inline constexpr std::array<GameControlId, 5> kBackgroundCaptureOrder = {
    kMinimiseButtonId, kMaximiseButtonId, kRestoreButtonId, kRefreshButtonId, kCloseButtonId};

struct ControlPlace {
    GameControlId id;
    Rect rect;
};

// Places of the five buttons and the Flash control in a client area of the given size, in the
// order close, maximise, restore, minimise, refresh, Flash control. Maximise and restore share
// one place. Empty when the client area has no width or height (minimised): the layout is
// then left as it was.
std::optional<std::array<ControlPlace, 6>> PlaceGameControls(Size client);

// --- Maximise and restore -----------------------------------------------------------------

// The window never enters the system's maximised state: "maximised" only means the large
// rectangle, "restored" the small one.
enum class FrameChoice { kLarge, kSmall };

// The window opens at the large rectangle.
inline constexpr FrameChoice kInitialFrameChoice = FrameChoice::kLarge;

struct FramePlacement {
    Rect rect;
    GameControlId shownButton;   // of maximise and restore, the one to show
    GameControlId hiddenButton;  // and the one to hide
};

// At the large rectangle the restore button is offered, at the small one the maximise button.
// Maximising chooses kLarge; restoring and a display change choose kSmall.
FramePlacement PlaceFrame(FrameChoice choice, const ScreenMetrics& screen);

// --- Sizing -------------------------------------------------------------------------------

// Hit codes; the values are the Win32 ones they stand for. Nothing is ever reported as
// caption: the title strip is client area and drags through the mouse-button handlers.
enum class HitCode : int {
    kClient = 1,        // HTCLIENT
    kLeft = 10,         // HTLEFT
    kRight = 11,        // HTRIGHT
    kTop = 12,          // HTTOP (never reported; the top edge only sizes from its corners)
    kTopLeft = 13,      // HTTOPLEFT
    kTopRight = 14,     // HTTOPRIGHT
    kBottom = 15,       // HTBOTTOM
    kBottomLeft = 16,   // HTBOTTOMLEFT
    kBottomRight = 17,  // HTBOTTOMRIGHT
};

// The hit code of a client point in a window of the given size. Corner zones reach 10 pixels
// in, edge zones 3.
HitCode GameWindowHitTest(Size window, Point client);

struct SizingEdges {
    bool left = false;
    bool top = false;
    bool right = false;
    bool bottom = false;
    friend bool operator==(const SizingEdges&, const SizingEdges&) = default;
};

// The edges a press on this hit code drags in the system's sizing loop; nothing for codes
// that do not size (the press is then dropped).
std::optional<SizingEdges> SizingEdgesFor(HitCode code);

// The window may be sized between the small and the large rectangle, both worked out afresh
// for the current screen.
struct TrackSizes {
    Size minimum;
    Size maximum;
};

TrackSizes GetTrackSizes(const ScreenMetrics& screen);

// The proposed size brought within the tracking sizes, each axis on its own.
Size ClampToTrackSizes(Size proposed, const TrackSizes& limits);

// Where a sizing drag that started at `start` puts the window when the pointer has moved by
// `delta`: the dragged edges follow within the tracking sizes and the others stay, so that a
// drag past a limit stops the edge instead of moving the window.
Rect SizeFrameByDrag(const Rect& start, const SizingEdges& edges, Point delta,
                     const TrackSizes& limits);

// --- Dragging -----------------------------------------------------------------------------

// A left press on client rows 1 to 29 starts a drag; row 0 does not.
bool InTitleDragBand(int clientY);

// --- Painting -----------------------------------------------------------------------------

inline constexpr int kTitleStripHeight = 29;
inline constexpr int kBorderWidth = 2;

enum FrameBitmapId : int {
    kTitleStripBitmap = 139,    // 10 x 28
    kBottomBorderBitmap = 141,  // 10 x 2
    kLeftBorderBitmap = 142,    // 2 x 20
    kIconBitmap = 143,          // 20 x 20
    kRightBorderBitmap = 189,   // 2 x 20
};

struct FramePiece {
    FrameBitmapId bitmap;
    Rect target;
    bool stretched;  // stretched over the target, else copied at its own size
};

// The game title is written in white, 11 points, with its top-left at kTitleTextOrigin.
inline constexpr Point kTitleTextOrigin = {30, 4};
inline constexpr int kTitleFontPointSize = 11;
inline constexpr const char* kTitleFontFace = "微软雅黑";
inline constexpr unsigned kTitleTextColor = 0xFFFFFF;  // 0xRRGGBB

// What the frame paint draws into a W x H client area, in drawing order: left, right, title
// strip, bottom, icon. Later pieces cover earlier ones. Targets are never inverted: in a window
// too narrow for the title strip its target is empty rather than mirrored.
std::array<FramePiece, 5> FramePaintLayout(Size client);

// --- Caption, commands, keys --------------------------------------------------------------

// The window text shown by the task bar: "%s(%s)" of the base name and the game title.
std::string GameWindowCaption(const std::string& baseName, const std::string& title);

enum class GameCommand {
    kNone,
    kRefresh,  // ask, then reload the area page (RefreshGame)
    kMinimise,
    kMaximise,  // FrameChoice::kLarge
    kRestore,   // FrameChoice::kSmall
    kQuit,      // ask, then hide and run the exit sequence (QuitGame)
    kExit,      // hide and run the exit sequence without asking
};

// The action for a command id: a button id, 32785 (refresh) or 32779 (exit).
GameCommand GameCommandFor(int commandId);

enum class GameKeyAction {
    kDefault,         // the dialog's normal key handling
    kForwardToMovie,  // hand the key press to the Flash control, skip the dialog's handling
    kRefresh,         // RefreshGame, and the key goes no further
    kSwallow,         // the key goes nowhere
};

// Key-down handling by Windows virtual-key code: Enter reaches the movie and never means OK,
// F5 refreshes, Esc never means Cancel.
GameKeyAction GameKeyActionFor(int virtualKey);

enum class RefreshStep {
    kReturnFocus,     // not confirmed: the focus goes back to the game
    kAlreadyPending,  // confirmed, but a refresh is already under way
    kReloadAreaPage,  // confirmed: m_bGameLoaded has been cleared, reload the area page
};

// The refresh question has been answered; `gameLoaded` is the window's m_bGameLoaded. A
// confirmed refresh clears it, so a second confirmation before the new window arrives starts
// no second reload.
RefreshStep TakeRefreshAnswer(bool answeredYes, bool& gameLoaded);

}  // namespace tavrin
