// What the audio mixer needs of the live engine while a live runs. The engine implements it; the
// mixer calls it only on its mixing thread, between AttachEngine with the engine and AttachEngine
// with null, and AttachEngine(null) returns only once a call in progress has returned, so the
// engine may close its audio encoder right after detaching the mixer.
#pragma once

#include <cstdint>

#include "media/live_feed.h"

class IAudioFeed {
public:
    virtual ~IAudioFeed() = default;
    // The engine state (EngineState); read without a lock, so the engine keeps it atomic.
    virtual int32_t State() const = 0;
    virtual bool HasAudioEncoder() const = 0;
    // Encodes one block of 16-bit interleaved stereo PCM at the engine's sample rate whose first
    // sample was captured timestamp milliseconds after go-live: the engine sets inputData,
    // inputBytes and audioTimestamp of its audio CodecParams and calls the audio encoder's Encode,
    // which delivers the frames it completes to the engine's sink before returning. pcm is the
    // mixer's own memory, valid only during the call.
    virtual void EncodeAudio(const uint8_t* pcm, int32_t bytes, uint32_t timestamp) = 0;
};
