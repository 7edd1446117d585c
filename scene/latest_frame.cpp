#include "scene/latest_frame.h"

#include <algorithm>
#include <cstring>

#include "imaging/deinterlace.h"

namespace {

bool Describable(const ImageBuffer* frame) {
    if (frame == nullptr || frame->planes[0] == nullptr || frame->width <= 0 || frame->height <= 0) return false;
    const int64_t row = static_cast<int64_t>(frame->width) * BytesPerPixel(frame->fourcc);
    return frame->strides[0] >= row;
}

bool SameShape(const ImageBuffer* a, const ImageBuffer* b) {
    return a->width == b->width && a->height == b->height && a->fourcc == b->fourcc;
}

}  // namespace

void CopyImagePixels(ImageBuffer* dst, const ImageBuffer* src) {
    if (dst->strides[0] == src->strides[0]) {
        std::memcpy(dst->planes[0], src->planes[0], static_cast<size_t>(src->strides[0]) * src->height);
        return;
    }
    const size_t row = static_cast<size_t>(std::min(dst->strides[0], src->strides[0]));
    for (int y = 0; y < src->height; ++y)
        std::memcpy(dst->planes[0] + static_cast<size_t>(y) * dst->strides[0],
                    src->planes[0] + static_cast<size_t>(y) * src->strides[0], row);
}

bool CLatestFrame::Store(const ImageBuffer* frame, bool deinterlace) {
    if (!Describable(frame)) return false;
    std::lock_guard<std::mutex> guard(lock_);
    if (!frame_ || !SameShape(frame_.get(), frame)) {
        frame_.reset(CreateImageBuffer(frame->width, frame->height, frame->fourcc));
        if (!frame_) return false;
    }
    CopyImagePixels(frame_.get(), frame);
    frame_->timestamp = frame->timestamp;
    ++sequence_;
    if (deinterlace) {
        uint8_t* pixels = frame_->planes[0];
        const int stride = frame_->strides[0];
        DeinterlaceFilter(pixels, stride, pixels, stride, stride, frame_->height, kDeinterlaceThreshold);
    }
    return true;
}

int32_t CLatestFrame::CopyTo(ImageBuffer** image) const {
    if (image == nullptr) return -1;
    std::lock_guard<std::mutex> guard(lock_);
    return CopyLocked(image);
}

int32_t CLatestFrame::CopyIfNew(ImageBuffer** image, uint64_t* sequence) const {
    if (image == nullptr || sequence == nullptr) return -1;
    std::lock_guard<std::mutex> guard(lock_);
    if (!frame_) return -1;
    if (*image != nullptr && *sequence == sequence_) return 0;
    if (CopyLocked(image) != 0) return -1;
    *sequence = sequence_;
    return 1;
}

int32_t CLatestFrame::CopyLocked(ImageBuffer** image) const {
    if (!frame_) return -1;
    if (*image == nullptr || !SameShape(*image, frame_.get())) {
        ImageBuffer* copy = CreateImageBuffer(frame_->width, frame_->height, frame_->fourcc);
        if (copy == nullptr) return -1;
        FreeImageBuffer(*image);
        *image = copy;
    }
    CopyImagePixels(*image, frame_.get());
    (*image)->timestamp = frame_->timestamp;
    return 0;
}

void CLatestFrame::Drop() {
    ImageBufferPtr old;
    std::lock_guard<std::mutex> guard(lock_);
    old.swap(frame_);
}

bool CLatestFrame::Has() const {
    std::lock_guard<std::mutex> guard(lock_);
    return frame_ != nullptr;
}
