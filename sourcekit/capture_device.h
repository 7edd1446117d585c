// Video and sound capture devices: a V4L2 camera or capture card through FFmpeg's video4linux2
// input, a PulseAudio source through its pulse input. Each device's reading thread hands every raw
// packet to the callback without decoding; the exported functions create, start and stop them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "imaging/image_buffer.h"
#include "sourcekit/av_support.h"
#include "sourcekit/device_thread.h"
#include "sourcekit/sourcekit.h"

// The FFmpeg input formats that stand for the capture hardware; SOURCEKIT_VIDEO_INPUT and
// SOURCEKIT_AUDIO_INPUT replace them (lavfi lets the same threads run without a device).
constexpr const char* kVideoCaptureInput = "video4linux2";
constexpr const char* kAudioCaptureInput = "pulse";

// Device names are accepted up to the length of the device specifier they must fit: "video=NAME"
// within 50 bytes and "audio=NAME" within 100, terminator included. Longer names are refused, never cut.
constexpr size_t kVideoSpecifierBytes = 50;
constexpr size_t kAudioSpecifierBytes = 100;

// The /dev/video* node whose V4L2 card name is name (the first one that captures video), name
// itself when it is a /dev path, or "" when no such device exists.
std::string ResolveV4l2Device(const std::string& name);

// Base of both capture kinds: the opened input, the reading thread and its running flag.
class CCaptureDevice {
public:
    virtual ~CCaptureDevice();
    CCaptureDevice(const CCaptureDevice&) = delete;
    CCaptureDevice& operator=(const CCaptureDevice&) = delete;

    void Start();
    // Returns once the reading thread has ended.
    void Stop();

protected:
    CCaptureDevice(DeviceCallback callback, void* user) : callback_(callback), user_(user) {}

    // Opens inputFormat's url with options; false (and the diagnostic line) on failure.
    bool OpenInput(const char* inputFormat, const std::string& url, CAvOptions* options);
    // Called for every packet read; the packet is released afterwards.
    virtual void Deliver(AVPacket* packet) = 0;
    // The packet's time in milliseconds, truncated to 32 bits; the clock's time when it has none.
    int32_t PacketTimeMs(int64_t value) const;
    int32_t DurationMs(int64_t value) const;
    virtual const char* ThreadName() const = 0;

    FormatContextPtr demuxer_;
    FrameInfo info_{};
    DeviceCallback callback_;
    void* user_;

private:
    void ReadingThread();
    static int Interrupted(void* device);

    AVRational timeBase_{1, 1000000};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    CStartedEvent started_;
};

class CVideoCaptureDevice final : public CCaptureDevice {
public:
    static std::unique_ptr<CVideoCaptureDevice> Open(const char* name, int32_t width, int32_t height, float frameRate,
                                                     uint32_t fourcc, int32_t crossbarPin, DeviceCallback callback,
                                                     void* user);
    ~CVideoCaptureDevice() override;

protected:
    void Deliver(AVPacket* packet) override;
    const char* ThreadName() const override { return "sk-cap"; }

private:
    CVideoCaptureDevice(DeviceCallback callback, void* user) : CCaptureDevice(callback, user) {}
    bool CopyRows(const AVPacket* packet);

    ImageBufferPtr image_;
    // V4L2 delivers BGR rows top-down; the program's RV24 capture images are bottom-up.
    bool bottomUp_ = false;
    bool reportedShortPacket_ = false;
};

class CAudioCaptureDevice final : public CCaptureDevice {
public:
    static std::unique_ptr<CAudioCaptureDevice> Open(const char* name, int32_t channels, int32_t sampleRate,
                                                     DeviceCallback callback, void* user);
    ~CAudioCaptureDevice() override;

protected:
    void Deliver(AVPacket* packet) override;
    const char* ThreadName() const override { return "sk-cap-audio"; }

private:
    CAudioCaptureDevice(DeviceCallback callback, void* user) : CCaptureDevice(callback, user) {}
};
