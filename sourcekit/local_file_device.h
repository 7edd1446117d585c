// A local media file played on its own thread ("sk-file"): packets are read just ahead of
// presentation into a video and a sound queue, each decoded frame is held until base + its time,
// then converted and handed to the callback. Pause, rewind (Seek(0)) and loop are driven from the
// caller's thread through flags, the clock lock and one thread message.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/thread_message_queue.h"
#include "sourcekit/device_thread.h"
#include "sourcekit/file_source.h"

class CLocFDevice final : public CFDevice {
public:
    // Read-ahead limit of each queue.
    static constexpr size_t kMaxQueuedFrames = 80;
    // Delay between a rewind and the first frame of the restarted file.
    static constexpr int64_t kRewindLeadMs = 50;

    // Opens and probes path (or, with io, the bytes io reads; the caller keeps io alive and frees it
    // after the device). Null when the input cannot be opened or probed or its video is not planar
    // YUV 4:2:0. width, height and mask receive the video size (100 x 100 without video) and the
    // stream mask (1 per video stream, 2 per sound stream); each may be null.
    static std::unique_ptr<CLocFDevice> Open(const char* path, AVIOContext* io, int32_t channels, int32_t sampleRate,
                                             int32_t* width, int32_t* height, int32_t* mask, DeviceCallback callback,
                                             void* user);
    ~CLocFDevice() override;

    void Start() override;
    void Stop() override;
    void Seek(int32_t position) override;
    void Pause(bool pause) override;
    void Loop(bool loop) override;

    // Reads, decodes and delivers at most maxPackets packets on the calling thread as fast as they
    // come, rewinding once at the end: the device's decoding path without its clock (fuzzing).
    void PlayUnpaced(int maxPackets);

private:
    CLocFDevice(FormatContextPtr demuxer, int videoIndex, int audioIndex, int32_t channels, int32_t sampleRate,
                DeviceCallback callback, void* user);

    void DeviceThread();
    bool OpenDecoders();
    void CloseDecoders();
    bool QueuesFull() const;
    // Makes the frames appended to queue since from relative to the input's start and guards them
    // against damaged times.
    void Retime(std::deque<FramePtr>* queue, size_t from, const CStreamDecoder& decoder);
    // Reads and decodes one packet; false when the input has ended (or failed, which counts as its end).
    bool ReadPacket();
    // Delivers every due frame; false when the running flag was found cleared in between.
    bool DeliverDue();
    void Rewind();

    FormatContextPtr demuxer_;
    PacketPtr packet_;
    CStreamDecoder video_;
    CStreamDecoder audio_;
    const int videoIndex_;
    const int audioIndex_;
    // Where the input's timeline starts (transport streams rarely start at 0), in its own units and
    // in milliseconds.
    const int64_t startTime_;
    const int64_t startMs_;
    CTimeJumpGuard timeGuard_;
    std::atomic<bool> loop_{false};
    // Device thread only.
    bool endReached_ = false;
    bool seekFailed_ = false;
    // base_ is read lock-free by the device thread; every change of base_, pauseStart_ and paused_
    // is made under clockLock_, so that a pause, a resume and a rewind never lose each other's shift.
    std::mutex clockLock_;
    std::atomic<int64_t> base_{0};
    int64_t pauseStart_ = 0;
    std::atomic<bool> paused_{false};
    std::deque<FramePtr> videoQueue_;
    std::deque<FramePtr> audioQueue_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    CStartedEvent started_;
    CThreadMessageQueue messages_;
};
