// The login window's decisions that need no window: which addresses lead into the game,
// how the area page is asked for again, how navigation errors are reported, and where a
// press starts a drag.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "flow/button_state.h"

namespace tavrin {

// True when the marker is not empty and occurs in the address (exactly, case-sensitive).
bool IsVerifiedAddress(const std::string& address, const std::string& szVerify);

// The area page with a fresh time parameter: "&v=" when the address already has a query,
// else "?v=", then the time in seconds since 1970 (low 32 bits, signed decimal).
std::string BuildAreaPageUrl(const std::string& areaUrl, std::int64_t secondsSince1970);

enum class NavigationErrorKind {
    kPageError,        // the server answered with an error status, or the address is unknown
    kNavigationError,  // anything else: refused connection, broken transfer ...
};

// An HTTP status of 400 to 505 and an address that cannot be found are page errors.
NavigationErrorKind ClassifyHttpStatus(int status);
// Engine (network) error codes: a host name that does not resolve, or a missing file, is a
// page error; every other code is a navigation error.
NavigationErrorKind ClassifyEngineError(int chromiumNetError);

// The argument of the page's invoke_enterroom (the script's value as text) as the 32-bit
// integer the method takes, converted the way automation converts a script's number:
// rounded to the nearest, halves to even. False for text that is not a finite number or a
// value outside the 32-bit range: the call is refused, never truncated or wrapped.
bool ParseRoomArgument(const std::string& text, std::int32_t& room);

// The control layer's drag band: client rows 1 to 99.
bool InLayerDragBand(int clientY);

// Where the control layer lies over the login picture, and where the browser lies on the
// layer, in logical pixels.
struct LoginBox {
    int left;
    int top;
    int width;
    int height;
};
inline constexpr LoginBox kControlLayerBox{22, 59, 791, 462};
inline constexpr LoginBox kLoginViewBox{32, 78, 692, 346};

// The control layer's six image buttons: their pictures (normal, hover, pressed, focused,
// disabled), their place on the layer and their name for screen readers (UTF-8).
enum class LoginButtonId { kOfficial, kRecharge, kForum, kService, kMinimise, kClose };
struct LoginButton {
    LoginButtonId id;
    ButtonImages images;
    int x;
    int y;
    const char* name;
};
inline constexpr std::array<LoginButton, 6> kLoginButtons = {{
    {LoginButtonId::kOfficial, {149, 148, 147, 149, 149}, 307, 21, "官网"},
    {LoginButtonId::kRecharge, {152, 151, 153, 152, 152}, 397, 21, "游戏充值"},
    {LoginButtonId::kForum, {155, 154, 150, 155, 155}, 487, 21, "官方论坛"},
    {LoginButtonId::kService, {158, 157, 156, 158, 158}, 577, 21, "客服"},
    {LoginButtonId::kMinimise, {164, 163, 159, 164, 164}, 674, 11, "最小化"},
    {LoginButtonId::kClose, {161, 160, 162, 161, 161}, 699, 11, "关闭"},
}};

}  // namespace tavrin
