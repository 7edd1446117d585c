// The base of every audio source the mixer polls (capture devices, media files and streams) and of
// the video capture devices. A sound source hands out chunks of 16-bit interleaved stereo PCM at
// the mixer's rate, oldest first, each stamped in 100-ns units of the media clock
// (GetMediaTime100ns). The mixing thread calls GetBuffer and ReleaseBuffer under the mixer's lock.
#pragma once

#include <atomic>
#include <cstdint>

struct ImageBuffer;
class CBaseDevice;

// What a shared device reaches its owner (a device registry) through: a holder's reference going
// back. The owner decides when the device is stopped and destroyed.
class IDeviceOwner {
public:
    virtual ~IDeviceOwner() = default;
    virtual void ReleaseDevice(CBaseDevice* device) = 0;
};

class CBaseDevice {
public:
    CBaseDevice() = default;
    CBaseDevice(const CBaseDevice&) = delete;
    CBaseDevice& operator=(const CBaseDevice&) = delete;
    virtual ~CBaseDevice() = default;

    // Gives one holder's reference back (shared devices); the base has none.
    virtual void Release() {}
    // Copies the newest picture into *image (video devices); negative when there is none, as for
    // every device without pictures.
    virtual int32_t CopyLatestFrame(ImageBuffer** /*image*/) { return -1; }
    // The oldest ready chunk of sound: negative when none is ready. Otherwise the chunk stays valid
    // and stays the oldest until ReleaseBuffer or the next GetBuffer. The base has no sound and says so.
    virtual int32_t GetBuffer(const uint8_t** /*data*/, uint32_t* /*bytes*/, uint64_t* /*timestamp*/) { return -1; }
    // Discards the oldest ready chunk.
    virtual int32_t ReleaseBuffer() { return 0; }
    // Media files only: jump to a position, pause or resume, change volume and play flags.
    virtual void Seek(int32_t /*position*/) {}
    virtual void Pause(int32_t /*flag*/) {}
    virtual void SetPlayOptions(int32_t /*volume*/, uint32_t /*playFlags*/) {}

    // The multiplier the mixer applies to this source's samples. Written by the owner's controls
    // while the mixing thread reads it.
    float Gain() const { return gain_.load(std::memory_order_relaxed); }
    void SetGain(float gain) { gain_.store(gain, std::memory_order_relaxed); }

private:
    std::atomic<float> gain_{0.5f};
};
