// Which of an image button's five pictures to draw. Kept apart from the widget so that the
// choice can be tested without a window.
#pragma once

#include <array>
#include <cstdint>

namespace tavrin {

// The order of the five images and colours of every image button.
enum ButtonState : int {
    kStateNormal = 0,
    kStateHover,
    kStatePressed,
    kStateFocused,
    kStateDisabled
};
inline constexpr int kButtonStateCount = 5;

using ButtonImages = std::array<int, kButtonStateCount>;

// The images a button has until its owner chooses its own.
inline constexpr ButtonImages kDefaultButtonImages = {155, 154, 150, 154, 155};

struct ButtonFlags {
    bool hover = false;    // the pointer is over the button
    bool pressed = false;  // the left button went down on it and has not come up
    bool focused = false;  // focused, selected or the default button at this draw
    bool disabled = false;
};

// The first matching rule wins: disabled, then hover with pressed, then hover, then
// focused. Pressed alone (the pointer has left) looks normal.
ButtonState ChooseButtonState(const ButtonFlags& flags);

}  // namespace tavrin
