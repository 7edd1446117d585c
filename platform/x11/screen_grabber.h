// Copies a region of the desktop into memory as 32-bit B, G, R, X rows, together with the mouse
// cursor's image and position. Two paths, chosen by the caller once: shared memory (MIT-SHM: the
// server writes straight into one reused segment) and the plain request (the pixels travel through
// the connection). Used by the screen layer on the composition thread.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/x11/monitors.h"
#include "platform/x11/x_connection.h"

enum class GrabStatus {
    kOk,      // Pixels() holds the region
    kFailed,  // this grab failed (the server refused the region); the connection still works
    kLost,    // the connection is gone
};

struct CursorImage {
    int32_t x = 0, y = 0;  // the pointer's position on the desktop
    int32_t width = 0, height = 0;
    std::vector<uint32_t> argb;  // premultiplied A, R, G, B words, width x height
};

class CScreenGrabber {
public:
    // conn must outlive the grabber. useShm needs the server's MIT-SHM extension.
    CScreenGrabber(CXConnection* conn, bool useShm);
    ~CScreenGrabber();
    CScreenGrabber(const CScreenGrabber&) = delete;
    CScreenGrabber& operator=(const CScreenGrabber&) = delete;

    bool UsesShm() const { return useShm_; }

    // Captures rect; when cursor is not null also reads the cursor (both requests travel together).
    // *cursorOk tells whether the cursor could be read.
    GrabStatus Grab(const MonitorRect& rect, CursorImage* cursor, bool* cursorOk);

    // The last grab's pixels: Width x Height of the rect, Stride bytes per row. Valid until the
    // next Grab.
    const uint8_t* Pixels() const { return pixels_; }
    int Stride() const { return stride_; }

private:
    bool EnsureSegment(size_t bytes);
    void ReleaseSegment();

    CXConnection* conn_;
    bool useShm_;
    // Shared-memory path.
    uint32_t segmentId_ = 0;  // xcb id of the attached segment, 0 when none
    int shmId_ = -1;
    uint8_t* shmAddr_ = nullptr;
    size_t shmBytes_ = 0;
    // Plain path: the reply holding the last image.
    XcbReply<xcb_get_image_reply_t> plainReply_;

    const uint8_t* pixels_ = nullptr;
    int stride_ = 0;
};
