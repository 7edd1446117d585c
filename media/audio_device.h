// Sound capture from the sound server: CAudioDevice records a microphone, or the system sound (the
// monitor of an output), converts it to 16-bit stereo at the mixer's rate and keeps it in a ring of
// 100 period-sized chunks for the mixer to poll. The mixer creates, opens and starts devices on the
// main window's thread and polls them on its mixing thread, always under its own lock; a device
// holds no lock of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/base_device.h"
#include "platform/ffmpeg/av_owners.h"
#include "platform/pulse/pulse_capture.h"

// Converts the source's layout and rate to 16-bit interleaved stereo at the target rate. Keeps the
// filter state between calls, so consecutive periods join without clicks.
class AudioResampler {
public:
    AudioResampler();
    ~AudioResampler();
    AudioResampler(const AudioResampler&) = delete;
    AudioResampler& operator=(const AudioResampler&) = delete;

    bool Setup(const PcmSpec& source, int32_t targetRate);
    // Converts frames source frames and writes at most outFrames target frames to output (what does
    // not fit waits for the next call). Returns the frames written, negative on failure.
    int32_t Convert(const uint8_t* input, int32_t frames, uint8_t* output, int32_t outFrames);
    void Reset();

private:
    ResamplerPtr swr_;
};

// The period the capture works in, in 100-ns units: 10 ms, or the shortest multiple of it that holds
// a whole number of frames at both rates (20 ms at 22050 Hz), so that every period converts to a
// chunk of exactly the same length.
int64_t CapturePeriodFor(int32_t sourceRate, int32_t targetRate);

// The part of a capture device that does not depend on the sound server: it cuts the packets the
// server hands over into whole periods, stamps them (the server's timing, or an own clock for a
// microphone whose timing cannot be trusted), converts them and keeps the last 100 chunks.
class CCaptureChunker {
public:
    static constexpr uint32_t kRingChunks = 100;

    CCaptureChunker() = default;
    CCaptureChunker(const CCaptureChunker&) = delete;
    CCaptureChunker& operator=(const CCaptureChunker&) = delete;

    // isCapture: a microphone (silent periods are dropped, its timing is checked once) rather than
    // system sound (silent periods become chunks of zeros, the server's timing is always used).
    // period in 100-ns units; now on the media clock. False when the layouts cannot be converted.
    bool Start(const PcmSpec& source, int32_t targetRate, bool isCapture, int64_t period, uint64_t now);
    void Stop();

    // A packet: bytes of source audio about to arrive in pieces, the first of them captured ageUs
    // microseconds before now (negative: unknown, taken as just arrived).
    void BeginPacket(size_t bytes, int64_t ageUs, uint64_t now);
    // The next piece of the packet; data null for a hole (silence).
    void AddPiece(const uint8_t* data, size_t bytes);

    // The oldest chunk: negative when there is none.
    int32_t Oldest(const uint8_t** data, uint32_t* bytes, uint64_t* timestamp) const;
    void DropOldest();

    uint32_t Count() const { return count_; }
    uint32_t ChunkBytes() const { return chunkBytes_; }
    uint32_t FramesPerPeriod() const { return framesPerPeriod_; }
    int64_t Period() const { return period_; }
    bool TimingDecided() const { return timingDecided_; }
    bool UsesOwnClock() const { return useOwnClock_; }

private:
    void StorePeriod(uint64_t timestamp, bool silent);

    AudioResampler resampler_;
    PcmSpec source_;
    bool isCapture_ = true;
    int64_t period_ = 0;
    uint32_t framesPerPeriod_ = 0;
    uint32_t chunkFrames_ = 0;
    uint32_t chunkBytes_ = 0;
    uint32_t sourceBlockBytes_ = 0;
    uint64_t ownClock_ = 0;
    bool timingDecided_ = false;
    bool useOwnClock_ = false;

    // The period being assembled from the server's pieces, carried across packets.
    std::unique_ptr<uint8_t[]> assembly_;
    uint32_t periodFill_ = 0;
    bool periodHasSound_ = false;
    uint64_t packetTimestamp_ = 0;
    uint32_t periodInPacket_ = 0;

    std::unique_ptr<uint8_t[]> ring_;
    uint64_t timestamps_[kRingChunks] = {};
    uint32_t readIndex_ = 0;
    uint32_t writeIndex_ = 0;
    uint32_t count_ = 0;
};

class CAudioDevice : public CBaseDevice, private IPulseCaptureSink {
public:
    // The connection to the sound server that the owner shares with its devices; a device without
    // one (null) opens a connection of its own.
    using SoundServerSource = std::function<std::shared_ptr<CPulseConnection>()>;
    static constexpr int32_t kDefaultTargetRate = 44100;

    // An empty endpointId is the default endpoint: the server's default source for a microphone,
    // the default output's monitor otherwise. targetRate: the rate the owner mixes at.
    CAudioDevice(SoundServerSource soundServer, std::string friendlyName, std::string endpointId, bool isCapture,
                 int32_t targetRate = kDefaultTargetRate);
    // Stops recording. The owner takes the device out of its mix first.
    ~CAudioDevice() override;

    int32_t GetBuffer(const uint8_t** data, uint32_t* bytes, uint64_t* timestamp) override;
    int32_t ReleaseBuffer() override;

    // Connects to the endpoint; on success the friendly name and id are those of the endpoint
    // actually opened. False when the server or the endpoint is missing (logged).
    bool OpenDevice();
    // Starts recording; false when the endpoint's layout cannot be converted.
    bool StartDevice();
    void StopDevice();

    const std::string& FriendlyName() const { return friendlyName_; }
    const std::string& EndpointId() const { return endpointId_; }
    bool IsCapture() const { return isCapture_; }
    const CCaptureChunker& Chunker() const { return chunker_; }

private:
    void BeginPacket(size_t bytes, int64_t ageUs) override;
    void AddPiece(const uint8_t* data, size_t bytes) override;

    std::string friendlyName_;
    std::string endpointId_;
    bool isCapture_;
    SoundServerSource soundServer_;
    int32_t targetRate_;
    std::unique_ptr<CPulseCapture> capture_;
    CCaptureChunker chunker_;
    bool started_ = false;
    bool lost_ = false;
};
