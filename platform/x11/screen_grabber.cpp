#include "platform/x11/screen_grabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <cstdio>
#include <cstring>

CScreenGrabber::CScreenGrabber(CXConnection* conn, bool useShm) : conn_(conn), useShm_(useShm && conn->HasShm()) {}

CScreenGrabber::~CScreenGrabber() { ReleaseSegment(); }

void CScreenGrabber::ReleaseSegment() {
    if (segmentId_ != 0 && !conn_->Broken()) {
        xcb_shm_detach(conn_->Get(), segmentId_);
        xcb_flush(conn_->Get());
    }
    segmentId_ = 0;
    if (shmAddr_ != nullptr) shmdt(shmAddr_);
    shmAddr_ = nullptr;
    shmId_ = -1;
    shmBytes_ = 0;
}

bool CScreenGrabber::EnsureSegment(size_t bytes) {
    if (shmAddr_ != nullptr && shmBytes_ >= bytes) return true;
    ReleaseSegment();
    shmId_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmId_ < 0) return false;
    void* addr = shmat(shmId_, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        shmctl(shmId_, IPC_RMID, nullptr);
        shmId_ = -1;
        return false;
    }
    shmAddr_ = static_cast<uint8_t*>(addr);
    shmBytes_ = bytes;
    segmentId_ = xcb_generate_id(conn_->Get());
    xcb_generic_error_t* error =
        xcb_request_check(conn_->Get(), xcb_shm_attach_checked(conn_->Get(), segmentId_, shmId_, 0));
    // Once both sides are attached the segment can be marked for removal: it then disappears
    // with the last detach, even if the program dies.
    shmctl(shmId_, IPC_RMID, nullptr);
    if (error != nullptr) {
        free(error);
        segmentId_ = 0;
        ReleaseSegment();
        return false;
    }
    return true;
}

GrabStatus CScreenGrabber::Grab(const MonitorRect& rect, CursorImage* cursor, bool* cursorOk) {
    if (cursorOk) *cursorOk = false;
    if (conn_->Broken()) return GrabStatus::kLost;
    const int w = rect.Width(), h = rect.Height();
    if (w <= 0 || h <= 0) return GrabStatus::kFailed;
    xcb_connection_t* c = conn_->Get();

    xcb_shm_get_image_cookie_t shmCookie{};
    xcb_get_image_cookie_t plainCookie{};
    if (useShm_) {
        if (!EnsureSegment(static_cast<size_t>(w) * h * 4))
            return conn_->Broken() ? GrabStatus::kLost : GrabStatus::kFailed;
        shmCookie = xcb_shm_get_image(c, conn_->Root(), static_cast<int16_t>(rect.left), static_cast<int16_t>(rect.top),
                                      static_cast<uint16_t>(w), static_cast<uint16_t>(h), ~0u,
                                      XCB_IMAGE_FORMAT_Z_PIXMAP, segmentId_, 0);
    } else {
        plainCookie =
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, conn_->Root(), static_cast<int16_t>(rect.left),
                          static_cast<int16_t>(rect.top), static_cast<uint16_t>(w), static_cast<uint16_t>(h), ~0u);
    }
    xcb_xfixes_get_cursor_image_cookie_t cursorCookie{};
    const bool wantCursor = cursor != nullptr && conn_->HasXFixes();
    if (wantCursor) cursorCookie = xcb_xfixes_get_cursor_image(c);

    GrabStatus status = GrabStatus::kOk;
    xcb_generic_error_t* error = nullptr;
    if (useShm_) {
        XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, shmCookie, &error));
        if (!reply) status = GrabStatus::kFailed;
        pixels_ = shmAddr_;
        stride_ = w * 4;
    } else {
        XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(c, plainCookie, &error));
        if (reply && xcb_get_image_data_length(reply.get()) >= w * h * 4) {
            plainReply_ = std::move(reply);
            pixels_ = xcb_get_image_data(plainReply_.get());
            stride_ = w * 4;
        } else {
            status = GrabStatus::kFailed;
        }
    }
    free(error);

    if (wantCursor) {
        XcbReply<xcb_xfixes_get_cursor_image_reply_t> reply(
            xcb_xfixes_get_cursor_image_reply(c, cursorCookie, nullptr));
        if (reply) {
            cursor->x = reply->x;
            cursor->y = reply->y;
            cursor->width = reply->width;
            cursor->height = reply->height;
            const uint32_t* data = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
            cursor->argb.assign(data, data + static_cast<size_t>(reply->width) * reply->height);
            if (cursorOk) *cursorOk = true;
        }
    }
    if (conn_->Broken()) return GrabStatus::kLost;
    return status;
}
