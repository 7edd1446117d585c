// One open media file or network stream played by SourceKit: its newest video frame for the
// media layers and its sound for the audio mixer. Owned by the media registry and shared by every
// layer of the same path, one reference per holder; after the last Release the registry stops
// SourceKit's device synchronously, takes it out of the mixer and destroys it. SourceKit's threads deliver frames and
// sound; the composition thread copies frames; the mixing thread takes sound (GetBuffer, ReleaseBuffer); the main
// thread plays, pauses and seeks.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "scene/latest_frame.h"
#include "scene/shared_device.h"
#include "sourcekit/sourcekit.h"

// Play flags, the four check boxes of the media dialog.
enum PlayFlag : uint32_t {
    kPlayLoop = 1u << 0,
    kPlayRestartWhenShown = 1u << 1,
    kPlayPauseWhenHidden = 1u << 2,
    kPlayHideAtEnd = 1u << 3,
};

// One delivery of sound: 16-bit interleaved stereo at the mixer's rate.
struct SoundPacket {
    uint32_t size = 0;
    uint64_t timestamp = 0;  // 100-ns units of the media clock
    std::unique_ptr<uint8_t[]> data;
};

class CFileDevice : public CSharedDevice {
public:
    // The queue never holds more packets than this after an addition: the oldest goes first.
    static constexpr size_t kMaxSoundPackets = 39;

    // handle: SourceKit's opened (not yet started) device, owned from here on; null for a device
    // fed only through the delivery calls. streamMask: bit 0 video; above 1, sound as well. The
    // registry that opened it lists it (SetOwner) and puts it into the mixer.
    CFileDevice(const std::string& path, void* handle, int32_t streamMask, uint32_t identifier, int32_t width,
                int32_t height, int32_t volume, uint32_t playFlags);
    // Stops SourceKit's device when it still runs.
    ~CFileDevice() override;

    int32_t CopyLatestFrame(ImageBuffer** image) override;
    // For a layer that keeps its copy: see CLatestFrame::CopyIfNew; -1 without video.
    int32_t CopyNewFrame(ImageBuffer** image, uint64_t* sequence) {
        return HasVideo() ? latest_.CopyIfNew(image, sequence) : -1;
    }
    // The oldest sound packet, lent to the mixer until ReleaseBuffer: 1 with its bytes, size and
    // timestamp, or -1 when there is none. Asked again before ReleaseBuffer, the same packet.
    int32_t GetBuffer(const uint8_t** data, uint32_t* bytes, uint64_t* timestamp) override;
    // Frees the packet GetBuffer lent (or, without one, the oldest queued). Always 0.
    int32_t ReleaseBuffer() override;
    // Position 0 starts over (a stream reconnects); the last frame is dropped so that the picture
    // before the seek is not shown again.
    void Seek(int32_t position) override;
    void Pause(int32_t flag) override;
    // volume in percent; flags as PlayFlag.
    void SetPlayOptions(int32_t volume, uint32_t playFlags) override;

    // SourceKit's threads.
    void DeliverFrame(const ImageBuffer* frame);
    // Queues a private copy of size bytes stamped with the sound's time (info slot 3, milliseconds
    // of the media clock in 32 bits); sizes of 0 and below carry no sound and are ignored.
    void AddSound(const uint8_t* data, int32_t size, const FrameInfo* info);

    // Stops SourceKit's device now (waiting for its threads); nothing is delivered afterwards.
    void Stop();

    const std::string& Name() const { return path_; }
    uint32_t Identifier() const { return identifier_; }
    uint32_t PlayFlags() const { return playFlags_; }
    int32_t StreamMask() const { return streamMask_; }
    bool HasVideo() const { return (streamMask_ & 1) != 0; }
    bool HasFrame() const { return latest_.Has(); }
    // Packets waiting in the queue (the one lent to the mixer not counted).
    size_t QueuedSound() const;

    const int32_t width, height;  // reported by SourceKit at open

private:
    std::atomic<uint32_t> playFlags_;
    const std::string path_;
    void* handle_;
    const uint32_t identifier_;
    const int32_t streamMask_;
    CLatestFrame latest_;
    mutable std::mutex soundLock_;
    std::deque<SoundPacket> sound_;
    SoundPacket lent_;  // out of the queue while the mixer reads it; guarded by soundLock_
};
