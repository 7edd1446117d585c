// The composition thread: once per frame interval it composes the scene's canvas and, while a
// live runs, converts the canvas to YUY2 and encodes it synchronously. It is the only thread that
// changes the layer list, in answer to thread messages (at most one per turn). Owned by CScene,
// which starts it at construction and joins it in Destroy.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "imaging/image_buffer.h"
#include "media/live_feed.h"
#include "platform/thread_message_queue.h"

class CScene;

class CComposeThread {
public:
    explicit CComposeThread(CScene* scene);
    ~CComposeThread();

    // Starts the thread and returns once it runs.
    void Start();
    // Clears the running flag and joins the thread. Messages still queued are returned to the
    // scene to release what they carry.
    void Stop();

    void Post(uint32_t code, uintptr_t wParam, intptr_t lParam);
    // Wakes the thread so that a changed setting (the frame rate) applies at once.
    void Wake() { wake_.notify_all(); }

    size_t PendingMessages() const { return queue_.Size(); }
    uint32_t LastPts() const { return lastPts_; }
    uint64_t FramesComposed() const { return framesComposed_; }
    uint64_t FramesEncoded() const { return framesEncoded_; }

private:
    friend class CScene;
    void Run();
    void SetEngine(ILiveFeed* engine, uint32_t liveStart);
    void FeedEngine();

    CScene* scene_;
    CThreadMessageQueue queue_;
    std::mutex wakeLock_;
    std::condition_variable wake_;
    std::atomic<bool> running_{false};
    std::thread thread_;

    // Composition-thread state.
    ImageBufferPtr yuy2_;
    ILiveFeed* engine_ = nullptr;
    int yuy2Width_ = 0, yuy2Height_ = 0;
    std::atomic<uint32_t> lastPts_{0};
    uint32_t liveStart_ = 0;
    std::atomic<uint64_t> framesComposed_{0};
    std::atomic<uint64_t> framesEncoded_{0};
};
