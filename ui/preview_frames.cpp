#include "ui/preview_frames.h"

#include <cstring>

ImageBuffer* CPreviewFrames::WriteSlot(int width, int height) {
    if (write_ && (write_->width != width || write_->height != height)) write_.reset();
    if (!write_) write_.reset(CreateImageBuffer(width, height, kFourccYUY2));
    return write_.get();
}

void CPreviewFrames::Publish() {
    if (!write_) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        write_.swap(ready_);
        fresh_ = true;
    }
    ++published_;
    if (told_.exchange(true)) return;  // the consumer has not taken the last one it heard of
    std::lock_guard<std::mutex> guard(listenerLock_);
    if (listener_)
        listener_();
    else
        told_ = false;  // nobody heard: the next listener must
}

void CPreviewFrames::Submit(const ImageBuffer* frame) {
    // Only packed YUY2 rows are taken (the view hands over nothing else); another layout would be read
    // past its rows.
    if (frame == nullptr || frame->planes[0] == nullptr || frame->width <= 0 || frame->height <= 0 ||
        frame->fourcc != kFourccYUY2 || frame->strides[0] < frame->width * 2)
        return;
    ImageBuffer* slot = WriteSlot(frame->width, frame->height);
    if (slot == nullptr) return;
    const size_t row = static_cast<size_t>(slot->strides[0]);
    for (int y = 0; y < frame->height; ++y)
        std::memcpy(slot->planes[0] + y * row, frame->planes[0] + static_cast<size_t>(y) * frame->strides[0], row);
    Publish();
}

const ImageBuffer* CPreviewFrames::TakeLatest(bool* fresh) {
    // Cleared before the exchange: a frame published while it is under way is told again rather
    // than waiting unseen for the one after it.
    told_ = false;
    bool newer = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (fresh_) {
            ready_.swap(shown_);
            fresh_ = false;
            newer = true;
        }
    }
    if (fresh != nullptr) *fresh = newer;
    return shown_.get();
}

bool CPreviewFrames::HasFresh() {
    std::lock_guard<std::mutex> guard(lock_);
    return fresh_;
}

void CPreviewFrames::SetListener(std::function<void()> listener) {
    std::lock_guard<std::mutex> guard(listenerLock_);
    listener_ = std::move(listener);
    told_ = false;
}
