#include "flow/button_state.h"

namespace tavrin {

ButtonState ChooseButtonState(const ButtonFlags& flags) {
    if (flags.disabled) {
        return kStateDisabled;
    }
    if (flags.hover && flags.pressed) {
        return kStatePressed;
    }
    if (flags.hover) {
        return kStateHover;
    }
    if (flags.focused) {
        return kStateFocused;
    }
    return kStateNormal;
}

}  // namespace tavrin
