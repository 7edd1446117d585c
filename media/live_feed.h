// What the composition thread needs of the live engine while a live runs: its state, its video
// encoder, and the window that receives the elapsed-time reports. The engine implements it; the
// composition thread calls it only between WM_SCENE_SET_ENGINE with the engine and with 0.
#pragma once

#include <cstdint>

#include "platform/window_target.h"

// The engine states carried by WM_LIVE_STATUS.
enum EngineState : int32_t {
    kEngineIdle = 0,
    kEngineLiveRecording = 1,
    kEngineLivePublishing = 2,
    kEnginePublishStarting = 3,
    kEngineStarting = 4,
    kEngineReady = 5,
    kEngineReconnecting = 6,
    kEngineReconnectFailed = 7,
    kEngineStopping = 8,
};

// The states in which producers encode and the engine accepts units.
inline bool IsLiveState(int32_t state) {
    return state == kEngineLiveRecording || state == kEngineLivePublishing || state == kEnginePublishStarting ||
           state == kEngineReconnecting || state == kEngineReconnectFailed;
}

class ILiveFeed {
public:
    virtual ~ILiveFeed() = default;
    virtual int32_t State() const = 0;
    virtual bool HasVideoEncoder() const = 0;
    // Encodes one YUY2 frame (the size the engine was started with) stamped pts milliseconds
    // after the live start; returns when its packets have been delivered.
    virtual void EncodeVideo(const uint8_t* yuy2, uint32_t pts) = 0;
    // The 32-bit tick at which the live started (for the elapsed-time report).
    virtual uint32_t LiveStartTick() const = 0;
    virtual IWindowTarget* StatusWindow() const = 0;
};
