// One live from the start button to its end, the same for the windows and the headless run. It
// starts the engine (on a thread of its own when asked, so that a window never waits for an RTMP
// server), takes the common time base, attaches the engine to the composition thread and the mixer,
// goes live, and stops in the order that keeps every producer off the engine before it drains.
// The owner's thread calls everything here; the start thread ("live-start") is owned and joined here.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/live_settings.h"

class CAudioMixer;
class CLiveEngine;
class CScene;
class IAudioFeed;
class ILiveFeed;
class IWindowTarget;

enum class LiveStartResult : int32_t { kFailed = 0, kLive = 1, kCancelled = 2 };

// How the two producers are told to feed an engine from a time base, or to stop (null, 0). The
// composition thread hears it as WM_SCENE_SET_ENGINE; the mixer detaches under its lock.
struct LiveProducers {
    std::function<void(ILiveFeed* engine, uint32_t timeBase)> attachScene;
    std::function<void(IAudioFeed* engine, uint32_t timeBase)> attachMixer;

    static LiveProducers Of(CScene* scene, CAudioMixer* mixer);
};

class LiveSession {
public:
    LiveSession(CLiveEngine* engine, LiveProducers producers);
    // Calls off a pending start and stops a live (without a report to the web service).
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // Starts on the calling thread, which waits as long as the RTMP server takes (up to its
    // timeout). On failure *failureText is what the user is shown (text 26 and the reason).
    LiveStartResult Start(const LiveSettings& settings, std::string* failureText = nullptr);
    // Starts on the session's own thread and returns at once; WM_LIVE_START_DONE reaches window when
    // the start has ended. False (nothing started) while a start is pending or a live runs.
    bool BeginStart(const LiveSettings& settings, IWindowTarget* window);
    // Waits for the start thread and gives its result: kCancelled when Stop came after it.
    LiveStartResult FinishStart(std::string* failureText = nullptr);

    bool StartPending() const;
    bool IsLive() const;
    // The media-clock milliseconds the running live's timestamps count from.
    uint32_t TimeBase() const;

    // Calls off a pending start (a connection attempt under way is cut short) and ends a running live
    // in order: the composition thread detached, the mixer detached, reportEnd (the web service), the
    // engine stopped. True when a live was stopped.
    bool Stop(const std::function<void()>& reportEnd = {});

private:
    LiveStartResult RunStart(const LiveSettings& settings);
    std::string FailureText(LiveStartResult result) const;

    CLiveEngine* const engine_;
    const LiveProducers producers_;

    mutable std::mutex lock_;
    bool live_ = false;
    bool stopRequested_ = false;
    bool pending_ = false;
    uint32_t timeBase_ = 0;
    LiveStartResult lastResult_ = LiveStartResult::kFailed;
    std::thread startThread_;
};
