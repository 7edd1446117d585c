#include "scene/gif_layer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/media_clock.h"
#include "scene/image_ops.h"
#include "scene/picture_loader.h"

namespace {

// dst = src drawn over below (straight alpha, both BGRA w x h). A null below is a transparent
// picture. Every stored frame is the picture of all frames so far drawn one over the other, so
// what a frame leaves transparent shows the frames before it.
void DrawOver(uint8_t* dst, const uint8_t* below, const uint8_t* src, int srcStride, int w, int h) {
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(y) * srcStride;
        const uint8_t* b = below ? below + static_cast<size_t>(y) * w * 4 : nullptr;
        uint8_t* d = dst + static_cast<size_t>(y) * w * 4;
        for (int x = 0; x < w; ++x, s += 4, d += 4) {
            const uint32_t sa = s[3];
            if (sa == 255 || (b == nullptr && sa != 0)) {
                std::memcpy(d, s, 4);
            } else if (b == nullptr) {
                std::memset(d, 0, 4);
            } else if (sa == 0) {
                std::memcpy(d, b + x * 4, 4);
            } else {
                const uint8_t* p = b + x * 4;
                const uint32_t da = p[3] * (255 - sa);  // below's weight, scaled by 255
                const uint32_t outA = sa * 255 + da;    // scaled by 255
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<uint8_t>((s[c] * sa * 255 + p[c] * da + outA / 2) / outA);
                d[3] = static_cast<uint8_t>((outA + 127) / 255);
            }
        }
    }
}

}  // namespace

CGifLayer::CGifLayer(const std::string& path, GifClock clock, size_t frameStoreLimit)
    : clock_(clock ? std::move(clock) : GifClock(TimeGetTime)) {
    sourceName = path;
    startTime_ = clock_();
    CGifFile file;
    if (!file.Open(path)) return;
    const int w = file.Width(), h = file.Height();
    ImageBufferPtr picture(CreateImageBuffer(w, h, kFourccRV32));
    if (!picture) {
        Log(LogLevel::kWarning, "scene", "GIF %s is too large (%dx%d)", path.c_str(), w, h);
        return;
    }
    const size_t frameBytes = static_cast<size_t>(w) * h * 4;
    const int n = file.FrameCount();

    if (n > 1) {
        if (static_cast<size_t>(n) <= frameStoreLimit / frameBytes)
            frameStore_.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(n), frameBytes)));
        if (!frameStore_) {
            // Never animate from frames that do not exist: one transparent frame stands for all.
            Log(LogLevel::kError, "scene", "no memory for the %d frames of %s: it is shown as one cleared frame", n,
                path.c_str());
            std::memset(picture->planes[0], 0, frameBytes);
            frameCount_ = 1;
            currentFrame_ = 0;
            SetImage(std::move(picture));
            return;
        }
        frameTable_.reserve(static_cast<size_t>(n));
        delays_.reserve(static_cast<size_t>(n));
        file.DecodeFrames([&](int index, const uint8_t* bgra, int stride) {
            uint8_t* frame = frameStore_.get() + frameTable_.size() * frameBytes;
            DrawOver(frame, frameTable_.empty() ? nullptr : frameTable_.back(), bgra, stride, w, h);
            frameTable_.push_back(frame);
            const uint32_t hundredths = file.Delay(index);
            delays_.push_back(hundredths == 0
                                  ? 100
                                  : static_cast<uint32_t>(std::min<uint64_t>(uint64_t{hundredths} * 10, UINT32_MAX)));
        });
        frameCount_ = static_cast<int32_t>(frameTable_.size());
        if (frameCount_ > 0) std::memcpy(picture->planes[0], frameTable_[0], frameBytes);
        if (frameCount_ > 1) {
            animated_ = true;
            for (uint32_t delay : delays_) {
                totalDuration_ += delay;
                frameEnds_.push_back(totalDuration_);
            }
        } else {
            // A damaged file with one usable frame is a still picture.
            frameTable_.clear();
            delays_.clear();
            frameStore_.reset();
        }
    } else {
        file.DecodeFrames([&](int, const uint8_t* bgra, int stride) {
            if (frameCount_ == 0) DrawOver(picture->planes[0], nullptr, bgra, stride, w, h);
            frameCount_ = 1;
        });
    }
    if (frameCount_ == 0) {
        Log(LogLevel::kWarning, "scene", "no frame of GIF %s decodes", path.c_str());
        return;
    }
    currentFrame_ = 0;
    SetImage(std::move(picture));
}

CGifLayer::~CGifLayer() = default;

int CGifLayer::FrameAt(uint32_t elapsed) const {
    const uint64_t t = elapsed % totalDuration_;
    // A time exactly at the end of a frame still shows that frame.
    const auto end = std::lower_bound(frameEnds_.begin(), frameEnds_.end(), t);
    return static_cast<int>(end - frameEnds_.begin());
}

ImageBuffer* CGifLayer::GetImage(float scale, uint32_t) {
    if (!image) return nullptr;
    const LayerRect r = GetRect();
    const int w = static_cast<int>(r.Width() * scale);
    const int h = static_cast<int>(r.Height() * scale);
    const int border = borderWidth;
    if (w == image->width && h == image->height && border == 0 && frameCount_ == 1) return image.get();

    if (animated_) {
        const int frame = FrameAt(clock_() - startTime_);
        if (frame != currentFrame_) {
            currentFrame_ = frame;
            frameChanged_ = true;
        }
    }
    if (w <= 0 || h <= 0) return nullptr;

    bool fill = borderChanged != 0;
    if (rendered_ && (rendered_->width != w || rendered_->height != h)) rendered_.reset();
    if (!rendered_) {
        rendered_.reset(CreateImageBuffer(w, h, kFourccRV32));
        if (!rendered_) return nullptr;
        fill = true;
    }
    if (!fill && !frameChanged_) return rendered_.get();

    if (frameChanged_) {
        std::memcpy(image->planes[0], frameTable_[static_cast<size_t>(currentFrame_)],
                    static_cast<size_t>(image->strides[0]) * image->height);
        frameChanged_ = false;
    }
    ImageBuffer* out = rendered_.get();
    if (fill) FillBGRA(out->planes[0], out->strides[0], w, h, borderColor);
    // A border wider than half the layer leaves no inner area: the layer shows only its border.
    const int iw = w - 2 * border, ih = h - 2 * border;
    if (iw > 0 && ih > 0) {
        uint8_t* inner =
            out->planes[0] + static_cast<size_t>(border) * out->strides[0] + static_cast<size_t>(border) * 4;
        ResizeBGRA(image->planes[0], image->width, image->height, image->strides[0], inner, iw, ih, out->strides[0]);
    }
    borderChanged = 0;
    return out;
}
