#include "app/live_session.h"

#include "app/language_table.h"
#include "media/audio_mixer.h"
#include "media/live_engine.h"
#include "platform/media_clock.h"
#include "platform/thread_util.h"
#include "platform/window_messages.h"
#include "scene/scene.h"

LiveProducers LiveProducers::Of(CScene* scene, CAudioMixer* mixer) {
    LiveProducers producers;
    producers.attachScene = [scene](ILiveFeed* engine, uint32_t timeBase) {
        if (scene != nullptr)
            scene->PostThreadMessage(WM_SCENE_SET_ENGINE, reinterpret_cast<uintptr_t>(engine),
                                     static_cast<intptr_t>(timeBase));
    };
    producers.attachMixer = [mixer](IAudioFeed* engine, uint32_t timeBase) {
        if (mixer != nullptr) mixer->AttachEngine(engine, timeBase);
    };
    return producers;
}

LiveSession::LiveSession(CLiveEngine* engine, LiveProducers producers)
    : engine_(engine), producers_(std::move(producers)) {}

LiveSession::~LiveSession() { Stop(); }

LiveStartResult LiveSession::RunStart(const LiveSettings& settings) {
    settings.ApplyTo(engine_);
    if (engine_->StartLive() == 0 || engine_->State() != kEngineReady)
        return engine_->StartError() == LiveStartError::kCancelled ? LiveStartResult::kCancelled
                                                                   : LiveStartResult::kFailed;
    std::lock_guard<std::mutex> guard(lock_);
    if (stopRequested_) {
        engine_->CancelReady();
        return LiveStartResult::kCancelled;
    }
    // Video and sound count their timestamps from the same moment: the go-live.
    timeBase_ = static_cast<uint32_t>(GetMediaTimeMs());
    producers_.attachScene(engine_, timeBase_);
    producers_.attachMixer(engine_, timeBase_);
    engine_->GoLive();
    live_ = true;
    return LiveStartResult::kLive;
}

std::string LiveSession::FailureText(LiveStartResult result) const {
    return result == LiveStartResult::kFailed ? StartFailureText(engine_->StartError()) : std::string();
}

LiveStartResult LiveSession::Start(const LiveSettings& settings, std::string* failureText) {
    if (StartPending() || IsLive()) return LiveStartResult::kFailed;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopRequested_ = false;
    }
    engine_->ClearAbort();
    const LiveStartResult result = RunStart(settings);
    if (failureText != nullptr) *failureText = FailureText(result);
    return result;
}

bool LiveSession::BeginStart(const LiveSettings& settings, IWindowTarget* window) {
    if (StartPending() || IsLive()) return false;
    JoinThread(startThread_);
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopRequested_ = false;
        lastResult_ = LiveStartResult::kFailed;
        pending_ = true;
    }
    engine_->ClearAbort();
    startThread_ = StartNamedThread("live-start", ThreadPriority::kNormal, [this, settings, window] {
        const LiveStartResult result = RunStart(settings);
        {
            std::lock_guard<std::mutex> guard(lock_);
            lastResult_ = result;
            pending_ = false;
        }
        PostWindowMessage(window, WM_LIVE_START_DONE, static_cast<uintptr_t>(result), 0);
    });
    return true;
}

LiveStartResult LiveSession::FinishStart(std::string* failureText) {
    JoinThread(startThread_);
    LiveStartResult result;
    {
        std::lock_guard<std::mutex> guard(lock_);
        result = stopRequested_ ? LiveStartResult::kCancelled : lastResult_;
    }
    if (failureText != nullptr) *failureText = FailureText(result);
    return result;
}

bool LiveSession::StartPending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return pending_;
}

bool LiveSession::IsLive() const {
    std::lock_guard<std::mutex> guard(lock_);
    return live_;
}

uint32_t LiveSession::TimeBase() const {
    std::lock_guard<std::mutex> guard(lock_);
    return timeBase_;
}

bool LiveSession::Stop(const std::function<void()>& reportEnd) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopRequested_ = true;
    }
    if (startThread_.joinable()) {
        engine_->AbortStart();
        JoinThread(startThread_);
    }
    bool wasLive = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        wasLive = live_;
        live_ = false;
    }
    if (!wasLive) return false;
    // Both producers let go of the engine before it drains: the composition thread takes the detach
    // with its next turn, and the mixer returns only once a block being encoded has been delivered.
    producers_.attachScene(nullptr, 0);
    producers_.attachMixer(nullptr, 0);
    if (reportEnd) reportEnd();
    engine_->StopLive();
    return true;
}
