// A connection to the X server for screen capture and the monitor list. xcb reports protocol
// errors and a lost connection as values, so a server that goes away or a capture that no longer
// fits the screen becomes a state of the caller, never the end of the process.
// One connection per user; it may be handed from the thread that opened it to one other thread.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>

class CXConnection {
public:
    // Opens displayName (null: $DISPLAY). Null when no server answers.
    static std::unique_ptr<CXConnection> Open(const char* displayName = nullptr);
    ~CXConnection();
    CXConnection(const CXConnection&) = delete;
    CXConnection& operator=(const CXConnection&) = delete;

    xcb_connection_t* Get() const { return conn_; }
    xcb_window_t Root() const { return root_; }
    int ScreenWidth() const { return width_; }
    int ScreenHeight() const { return height_; }
    // The root window's pixels come as 32-bit little-endian B, G, R, X: the only layout the
    // capture converts (every 24-bit desktop of this decade).
    bool HasBgrxPixels() const { return bgrx_; }
    bool HasShm() const { return shm_; }
    bool HasXFixes() const { return xfixes_; }
    bool HasRandr() const { return randr_; }
    bool Broken() const { return xcb_connection_has_error(conn_) != 0; }

private:
    CXConnection() = default;

    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = 0;
    int width_ = 0, height_ = 0;
    bool bgrx_ = false, shm_ = false, xfixes_ = false, randr_ = false;
};

// Frees an xcb reply.
struct XcbFree {
    void operator()(void* p) const { free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFree>;
