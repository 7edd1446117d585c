#include "scene/screen_layer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "imaging/composite.h"
#include "platform/log.h"

CScrLayer::CScrLayer(uint32_t fourcc, int monitorIndex, const MonitorRect& rect, const char* displayName,
                     bool preferShm)
    : monitorIndex_(monitorIndex), captureRect_(rect) {
    conn_ = CXConnection::Open(displayName);
    if (conn_ && !conn_->HasBgrxPixels()) {
        Log(LogLevel::kWarning, "scene", "the desktop's pixel layout is not 24-bit colour; screen capture is off");
        conn_.reset();
    }
    if (conn_) {
        // The capture stays inside the screen: a monitor rectangle reaching past it would be refused.
        captureRect_.left = std::clamp(captureRect_.left, 0, conn_->ScreenWidth());
        captureRect_.top = std::clamp(captureRect_.top, 0, conn_->ScreenHeight());
        captureRect_.right = std::clamp(captureRect_.right, captureRect_.left, conn_->ScreenWidth());
        captureRect_.bottom = std::clamp(captureRect_.bottom, captureRect_.top, conn_->ScreenHeight());
        grabber_ = std::make_unique<CScreenGrabber>(conn_.get(), preferShm);
        method_ = grabber_->UsesShm() ? CaptureMethod::kShm : CaptureMethod::kPlain;
    } else {
        Log(LogLevel::kWarning, "scene", "no X display for screen %d: the layer stays empty", monitorIndex);
    }
    const int w = captureRect_.Width(), h = captureRect_.Height();
    if (w > 0 && h > 0) {
        ImageBufferPtr picture(CreateImageBuffer(w, h, fourcc));
        if (picture) std::memset(picture->planes[0], 0, static_cast<size_t>(picture->strides[0]) * h);
        SetImage(std::move(picture));
    }
}

CScrLayer::~CScrLayer() {
    grabber_.reset();  // detaches the shared segment while the connection still exists
    conn_.reset();
}

void CScrLayer::DrawCursor() {
    // The cursor image's top-left corner goes where the pointer is, without taking the hot spot
    // off; parts outside this monitor are clipped away.
    ImageBuffer* img = image.get();
    const int ox = cursor_.x - captureRect_.left, oy = cursor_.y - captureRect_.top;
    const int x0 = std::max(ox, 0), y0 = std::max(oy, 0);
    const int x1 = std::min(ox + cursor_.width, img->width), y1 = std::min(oy + cursor_.height, img->height);
    for (int y = y0; y < y1; ++y) {
        const uint32_t* src = cursor_.argb.data() + static_cast<size_t>(y - oy) * cursor_.width + (x0 - ox);
        uint8_t* dst = img->planes[0] + static_cast<size_t>(y) * img->strides[0] + static_cast<size_t>(x0) * 3;
        for (int x = x0; x < x1; ++x, ++src, dst += 3) {
            const uint32_t p = *src;
            const uint32_t a = p >> 24;
            if (a == 0) continue;
            // Premultiplied colour: result = source + destination x (1 - alpha).
            const uint32_t keep = 255 - a;
            dst[0] = static_cast<uint8_t>(std::min<uint32_t>(255, (p & 0xFF) + (dst[0] * keep + 127) / 255));
            dst[1] = static_cast<uint8_t>(std::min<uint32_t>(255, ((p >> 8) & 0xFF) + (dst[1] * keep + 127) / 255));
            dst[2] = static_cast<uint8_t>(std::min<uint32_t>(255, ((p >> 16) & 0xFF) + (dst[2] * keep + 127) / 255));
        }
    }
}

ImageBuffer* CScrLayer::GetImage(float scale, uint32_t fourcc) {
    if (!image || !grabber_ || lost_) return nullptr;
    bool cursorOk = false;
    const GrabStatus status = grabber_->Grab(captureRect_, &cursor_, &cursorOk);
    // A shared-memory grab that the server refuses means the screen no longer holds this
    // rectangle (its size changed): like a lost duplication, the layer goes blank for good. The
    // plain path keeps showing its last capture after a refused grab.
    if (status == GrabStatus::kLost || (status == GrabStatus::kFailed && method_ == CaptureMethod::kShm)) {
        Log(LogLevel::kWarning, "scene", "screen %d: capture lost; the layer stays empty", monitorIndex_);
        lost_ = true;
        return nullptr;
    }
    if (status == GrabStatus::kOk) {
        CopyAC4ToC3(grabber_->Pixels(), grabber_->Stride(), image->planes[0], image->strides[0], image->width,
                    image->height);
        if (cursorOk) DrawCursor();
    }
    return RenderScaled(image.get(), scale, fourcc, true);
}
