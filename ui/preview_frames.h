// The hand-over of preview frames (packed YUY2) from the composition thread to the window's thread.
// The producer writes a frame into a slot of its own and publishes it with a pointer exchange under a
// short lock, so it never waits for the window; a frame published before the window took the previous
// one replaces it (the newest wins). The window's thread takes the newest frame and keeps it, untouched
// by the producer, until it takes the next. One producer thread and one consumer thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "imaging/image_buffer.h"

class CPreviewFrames {
public:
    // Producer: the buffer the next frame is written into (YUY2, width x height, stride width x 2). It
    // is the producer's alone until Publish; null when memory cannot be had.
    ImageBuffer* WriteSlot(int width, int height);
    // Producer: hands the frame written into the slot over and tells the listener, once per frame the
    // consumer has not taken yet.
    void Publish();
    // Producer: copies a YUY2 frame in and publishes it.
    void Submit(const ImageBuffer* frame);

    // Consumer: the newest frame, or the one taken last when nothing newer came (null before the first);
    // valid until the next call. fresh says whether it is newer than the last call's.
    const ImageBuffer* TakeLatest(bool* fresh = nullptr);
    // Whether a frame newer than the last taken waits.
    bool HasFresh();

    // Consumer's thread: called on the producer's thread after a Publish, at most once until the consumer
    // takes a frame. The call must not wait for the consumer (it posts). An empty function detaches; it
    // returns only once no call of the previous listener is in progress.
    void SetListener(std::function<void()> listener);

    uint64_t Published() const { return published_; }

private:
    std::mutex lock_;  // guards the exchange of ready_ with write_ and shown_
    ImageBufferPtr write_, ready_, shown_;
    bool fresh_ = false;
    std::atomic<bool> told_{false};
    std::atomic<uint64_t> published_{0};

    std::mutex listenerLock_;
    std::function<void()> listener_;
};
