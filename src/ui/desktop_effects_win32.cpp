#include "ui/desktop_effects.h"

namespace tavrin::ui {

// Every supported Windows desktop composites layered windows.
bool HasCompositor() {
    return true;
}

}  // namespace tavrin::ui
