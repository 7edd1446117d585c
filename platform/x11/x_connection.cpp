#include "platform/x11/x_connection.h"

#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <cstdio>
#include <cstdlib>

std::unique_ptr<CXConnection> CXConnection::Open(const char* displayName) {
    int screenNumber = 0;
    xcb_connection_t* conn = xcb_connect(displayName, &screenNumber);
    if (conn == nullptr) return nullptr;
    std::unique_ptr<CXConnection> self(new CXConnection);
    self->conn_ = conn;  // xcb_connect returns an object to disconnect even when it failed
    if (xcb_connection_has_error(conn)) return nullptr;

    const xcb_setup_t* setup = xcb_get_setup(conn);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
    if (it.rem == 0) return nullptr;
    self->root_ = it.data->root;
    self->width_ = it.data->width_in_pixels;
    self->height_ = it.data->height_in_pixels;

    bool thirtyTwoBits = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f))
        if (f.data->depth == it.data->root_depth) thirtyTwoBits = f.data->bits_per_pixel == 32;
    self->bgrx_ = it.data->root_depth == 24 && thirtyTwoBits && setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;

    // Ask for all three extensions at once, then collect the answers.
    xcb_prefetch_extension_data(conn, &xcb_shm_id);
    xcb_prefetch_extension_data(conn, &xcb_xfixes_id);
    xcb_prefetch_extension_data(conn, &xcb_randr_id);
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(conn, &xcb_shm_id);
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(conn, &xcb_xfixes_id);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(conn, &xcb_randr_id);
    self->shm_ = shm && shm->present;
    if (xfixes && xfixes->present) {
        // The cursor image request needs the client to announce a version first.
        XcbReply<xcb_xfixes_query_version_reply_t> v(
            xcb_xfixes_query_version_reply(conn, xcb_xfixes_query_version(conn, 4, 0), nullptr));
        self->xfixes_ = v != nullptr;
    }
    if (randr && randr->present) {
        XcbReply<xcb_randr_query_version_reply_t> v(
            xcb_randr_query_version_reply(conn, xcb_randr_query_version(conn, 1, 5), nullptr));
        // Monitors came with 1.5.
        self->randr_ = v && (v->major_version > 1 || v->minor_version >= 5);
    }
    return self;
}

CXConnection::~CXConnection() {
    if (conn_) xcb_disconnect(conn_);
}
