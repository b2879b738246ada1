#include "flow/button_state.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(ChooseButtonState, FirstMatchingRuleWins) {
    const struct {
        ButtonFlags flags;  // hover, pressed, focused, disabled
        ButtonState expected;
        int defaultImage;
    } cases[] = {
        {{false, false, false, false}, kStateNormal, 155},
        {{true, false, false, false}, kStateHover, 154},
        {{true, true, false, false}, kStatePressed, 150},
        {{false, true, false, false}, kStateNormal, 155},  // pressed, then the pointer left
        {{false, false, true, false}, kStateFocused, 154},
        {{true, false, true, false}, kStateHover, 154},  // hover beats focus
        {{true, true, true, false}, kStatePressed, 150},
        {{true, true, true, true}, kStateDisabled, 155},  // disabled beats everything
        {{false, false, false, true}, kStateDisabled, 155},
    };
    for (const auto& c : cases) {
        const ButtonState state = ChooseButtonState(c.flags);
        EXPECT_EQ(state, c.expected)
            << c.flags.hover << c.flags.pressed << c.flags.focused << c.flags.disabled;
        EXPECT_EQ(kDefaultButtonImages[state], c.defaultImage);
    }
}

}  // namespace
}  // namespace tavrin
