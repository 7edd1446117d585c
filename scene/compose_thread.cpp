#include "scene/compose_thread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>

#include "imaging/color_convert.h"
#include "platform/log.h"
#include "platform/media_clock.h"
#include "platform/thread_util.h"
#include "scene/scene.h"

CComposeThread::CComposeThread(CScene* scene) : scene_(scene) {}

CComposeThread::~CComposeThread() { Stop(); }

void CComposeThread::Start() {
    if (thread_.joinable()) return;
    running_ = true;
    std::promise<void> started;
    auto startedFuture = started.get_future();
    thread_ = StartNamedThread("compose", ThreadPriority::kTimeCritical, [this, &started] {
        started.set_value();
        Run();
    });
    startedFuture.wait();
}

void CComposeThread::Stop() {
    {
        std::lock_guard<std::mutex> guard(wakeLock_);
        running_ = false;
    }
    wake_.notify_all();
    JoinThread(thread_);
    for (const ThreadMessage& msg : queue_.Drain()) scene_->ReleaseMessage(msg);
    engine_ = nullptr;
    yuy2_.reset();
}

void CComposeThread::Post(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard<std::mutex> guard(wakeLock_);
        queue_.Post(code, wParam, lParam);
    }
    wake_.notify_one();
}

void CComposeThread::Run() {
    int64_t lastComposeUs = 0;
    uint32_t lastTick = 0;
    bool composedOnce = false;
    while (running_) {
        ThreadMessage msg;
        if (queue_.Take(&msg)) scene_->HandleMessage(msg);

        int fps = scene_->frameRate_;          // read every turn: a new rate applies at once
        if (fps <= 0 || fps > 1000) fps = 25;  // a nonsense rate must not stop the frames
        const int64_t interval = 1000 / fps;
        // A frame is due once interval - 1 ms have passed since the previous one began. Pacing
        // reads the clock in microseconds so that the millisecond tick's truncation cannot bring
        // two frames closer than that.
        const int64_t dueUs = (interval > 0 ? interval - 1 : 0) * 1000;
        const int64_t nowUs = GetMediaTime100ns() / 10;
        if (composedOnce && nowUs - lastComposeUs < dueUs) {
            // Sleep until the frame is due, waking early for a message. One wake-up per frame
            // instead of a 1 ms poll keeps an idle scene off the processor.
            const int64_t waitUs = dueUs - (nowUs - lastComposeUs);
            std::unique_lock<std::mutex> guard(wakeLock_);
            if (running_ && queue_.Size() == 0) wake_.wait_for(guard, std::chrono::microseconds(waitUs));
            continue;
        }
        lastComposeUs = nowUs;
        composedOnce = true;
        scene_->ComposeFrame();
        ++framesComposed_;

        if (engine_ == nullptr) continue;
        FeedEngine();
        const uint32_t now = TimeGetTime();
        if (now - lastTick > 1000) {
            const int32_t state = engine_->State();
            if (state == kEngineLiveRecording || state == kEngineLivePublishing)
                PostWindowMessage(engine_->StatusWindow(), WM_LIVE_STATUS, static_cast<uintptr_t>(state),
                                  static_cast<intptr_t>(now - engine_->LiveStartTick()));
            lastTick = now;
        }
    }
}

void CComposeThread::FeedEngine() {
    const uint32_t t = static_cast<uint32_t>(GetMediaTimeMs());
    // Frames composed before the live start are shown but not encoded. The clock reads 0 when it
    // fails, and then nothing is encoded until it works again.
    if (t == 0 || static_cast<int32_t>(t - liveStart_) < 0 || !yuy2_) return;
    const uint32_t pts = t - liveStart_;
    lastPts_ = pts;
    {
        std::lock_guard<std::mutex> guard(scene_->canvasLock_);
        const ImageBuffer* canvas = scene_->canvas_.get();
        if (canvas == nullptr || canvas->width != yuy2Width_ || canvas->height != yuy2Height_) return;
        BGRToYUY2(canvas->planes[0], canvas->strides[0], yuy2_->planes[0], yuy2_->strides[0], yuy2Width_, yuy2Height_);
    }
    if (IsLiveState(engine_->State()) && engine_->HasVideoEncoder()) {
        engine_->EncodeVideo(yuy2_->planes[0], pts);
        ++framesEncoded_;
    }
}

void CComposeThread::SetEngine(ILiveFeed* engine, uint32_t liveStart) {
    engine_ = engine;
    if (engine == nullptr) return;  // the YUY2 buffer stays for the next live
    liveStart_ = liveStart;
    const int w = scene_->canvasWidth_, h = scene_->canvasHeight_;
    if (yuy2_ && (yuy2_->width != w || yuy2_->height != h)) yuy2_.reset();
    if (!yuy2_ && w > 0 && h > 0) yuy2_.reset(CreateImageBuffer(w, h, kFourccYUY2));
    yuy2Width_ = yuy2_ ? w : 0;
    yuy2Height_ = yuy2_ ? h : 0;
    if (!yuy2_) Log(LogLevel::kWarning, "scene", "no frame buffer for the live (%dx%d): frames are not encoded", w, h);
}
