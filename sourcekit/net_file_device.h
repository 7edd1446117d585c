// A network stream (RTMP, HTTP) played through two threads: the reader ("sk-net-read") connects,
// demuxes and decodes into the queues, keeping a presentation delay of buffered media; the presenter
// ("sk-net") delivers each frame when it is due and starts, restarts and stops the reader. Only the
// presenter calls back. Nothing connects before Start.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sourcekit/device_thread.h"
#include "sourcekit/file_source.h"

class CNetFDevice final : public CFDevice {
public:
    // The longest URL kept (with its terminating zero); longer ones are refused rather than cut.
    static constexpr size_t kMaxUrlBytes = 1024;
    // A read that has waited this long for the server counts as a broken connection.
    static constexpr int64_t kStallMs = 10000;

    // Null when url is too long.
    static std::unique_ptr<CNetFDevice> Open(const char* url, int32_t channels, int32_t sampleRate,
                                             DeviceCallback callback, void* user);
    ~CNetFDevice() override;

    void Start() override;
    void Stop() override;
    void Seek(int32_t position) override;
    void Pause(bool pause) override;

    // 1000 ms for RTMP, 3000 ms for other streams; the queue cap covers it at 30 frames per second.
    int64_t PresentationDelayMs() const { return delay_; }
    size_t QueueCap() const { return cap_; }

private:
    CNetFDevice(std::string url, int32_t channels, int32_t sampleRate, DeviceCallback callback, void* user);

    void PresenterThread(CStartedEvent* started);
    void PresentDue(std::deque<FramePtr>* queue, bool video);

    void StartReader();
    // Stops the reader, interrupting a blocked connect or read, and waits for it.
    void StopReader();
    void ReaderThread();
    // Reads one connection until it ends; true when the end calls for a reconnection.
    bool ReadConnection();
    static int Interrupted(void* device);

    const std::string url_;
    const int64_t delay_;
    const size_t cap_;
    // Written by the reader (anchoring), read by the presenter.
    std::atomic<int64_t> base_{0};

    std::mutex queueLock_;
    std::deque<FramePtr> videoQueue_;
    std::deque<FramePtr> audioQueue_;

    std::thread reader_;
    std::atomic<bool> readerRunning_{false};
    std::atomic<bool> readerStop_{false};
    std::atomic<bool> reconnect_{false};
    std::atomic<int64_t> readStartMs_{0};
    std::atomic<bool> stalled_{false};

    std::thread presenter_;
    std::atomic<bool> presenterRunning_{false};
    std::atomic<bool> paused_{false};
    // Presenter only.
};
