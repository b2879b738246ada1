#include <xcb/xcb.h>

#include <memory>
#include <string>

#include <QGuiApplication>

#include "ui/desktop_effects.h"

namespace tavrin::ui {

bool HasCompositor() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return true;  // not X11 (Wayland composites always)
    }
    xcb_connection_t* c = x11->connection();
    // A compositing manager owns the selection _NET_WM_CM_S<screen>.
    const std::string name = "_NET_WM_CM_S0";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, name.size(), name.c_str()), nullptr), &free);
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return false;
    }
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr), &free);
    return owner && owner->owner != XCB_NONE;
}

}  // namespace tavrin::ui
