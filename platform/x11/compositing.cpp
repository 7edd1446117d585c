#include "platform/x11/compositing.h"

#include <cstdlib>
#include <string>

#include "platform/x11/x_connection.h"

bool DesktopComposites(CXConnection* conn) {
    if (conn == nullptr || conn->Broken()) return false;
    int screen = 0;
    if (const char* display = std::getenv("DISPLAY")) {
        const std::string text(display);
        const size_t dot = text.rfind('.');
        if (dot != std::string::npos && dot > text.rfind(':')) screen = std::atoi(text.c_str() + dot + 1);
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_cookie_t cookie = xcb_intern_atom(conn->Get(), 1, static_cast<uint16_t>(name.size()), name.c_str());
    XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(conn->Get(), cookie, nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) return false;
    XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(conn->Get(), xcb_get_selection_owner(conn->Get(), atom->atom), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

bool DesktopComposites() {
    std::unique_ptr<CXConnection> conn = CXConnection::Open();
    return conn && DesktopComposites(conn.get());
}
