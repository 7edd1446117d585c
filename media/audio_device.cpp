#include "media/audio_device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "media/audio_mixer.h"
#include "platform/log.h"
#include "platform/media_clock.h"

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kBasePeriod = 100000;  // 10 ms
// A microphone whose first packet was captured longer ago than this (after its own length) has
// timestamps that cannot be trusted.
constexpr int64_t kTrustedAge = 1000000;
// How far the own clock is pulled toward real time per packet: 50 us.
constexpr uint64_t kOwnClockStep = 500;

AVSampleFormat SampleFormat(PcmFormat format) {
    switch (format) {
        case PcmFormat::kU8:
            return AV_SAMPLE_FMT_U8;
        case PcmFormat::kS16:
            return AV_SAMPLE_FMT_S16;
        case PcmFormat::kS32:
            return AV_SAMPLE_FMT_S32;
        case PcmFormat::kFloat32:
            break;
    }
    return AV_SAMPLE_FMT_FLT;
}

uint32_t RoundFrames(int64_t rate, int64_t period) {
    return static_cast<uint32_t>(
        std::llround(static_cast<double>(rate) * static_cast<double>(period) / kUnitsPerSecond));
}

}  // namespace

AudioResampler::AudioResampler() = default;
AudioResampler::~AudioResampler() = default;

bool AudioResampler::Setup(const PcmSpec& source, int32_t targetRate) {
    swr_.reset();
    if (source.rate <= 0 || source.channels <= 0 || targetRate <= 0) return false;
    AVChannelLayout in{};
    AVChannelLayout out{};
    av_channel_layout_default(&in, source.channels);
    av_channel_layout_default(&out, 2);
    SwrContext* context = nullptr;
    const int ret = swr_alloc_set_opts2(&context, &out, AV_SAMPLE_FMT_S16, targetRate, &in, SampleFormat(source.format),
                                        source.rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    swr_.reset(context);
    if (ret < 0 || !swr_) return false;
    if (source.channels == 1) {
        // A mono microphone is heard at its full level on both sides, not 3 dB down as a centre speaker.
        const double both[2] = {1.0, 1.0};
        if (swr_set_matrix(swr_.get(), both, 1) < 0) return false;
    }
    if (swr_init(swr_.get()) < 0) {
        swr_.reset();
        return false;
    }
    return true;
}

int32_t AudioResampler::Convert(const uint8_t* input, int32_t frames, uint8_t* output, int32_t outFrames) {
    if (!swr_) return -1;
    const uint8_t* in[1] = {input};
    uint8_t* out[1] = {output};
    return swr_convert(swr_.get(), out, outFrames, in, frames);
}

void AudioResampler::Reset() { swr_.reset(); }

int64_t CapturePeriodFor(int32_t sourceRate, int32_t targetRate) {
    for (int64_t period = kBasePeriod; period <= kUnitsPerSecond; period += kBasePeriod) {
        if (static_cast<int64_t>(sourceRate) * period % kUnitsPerSecond == 0 &&
            static_cast<int64_t>(targetRate) * period % kUnitsPerSecond == 0) {
            return period;
        }
    }
    return kBasePeriod;
}

bool CCaptureChunker::Start(const PcmSpec& source, int32_t targetRate, bool isCapture, int64_t period, uint64_t now) {
    Stop();
    if (period <= 0 || source.BlockBytes() <= 0) return false;
    source_ = source;
    isCapture_ = isCapture;
    period_ = period;
    framesPerPeriod_ = RoundFrames(source.rate, period);
    chunkFrames_ = RoundFrames(targetRate, period);
    chunkBytes_ = chunkFrames_ * 4;
    sourceBlockBytes_ = static_cast<uint32_t>(source.BlockBytes());
    if (framesPerPeriod_ == 0 || chunkFrames_ == 0 || !resampler_.Setup(source, targetRate)) {
        Log(LogLevel::kError, "audio", "cannot convert %d Hz, %d channels to %d Hz stereo", source.rate,
            source.channels, targetRate);
        return false;
    }
    ownClock_ = now;
    timingDecided_ = !isCapture;
    useOwnClock_ = false;
    assembly_ = std::make_unique<uint8_t[]>(static_cast<size_t>(framesPerPeriod_) * sourceBlockBytes_);
    periodFill_ = 0;
    periodHasSound_ = false;
    packetTimestamp_ = now;
    periodInPacket_ = 0;
    ring_ = std::make_unique<uint8_t[]>(static_cast<size_t>(kRingChunks) * chunkBytes_);
    std::fill(std::begin(timestamps_), std::end(timestamps_), 0);
    readIndex_ = writeIndex_ = count_ = 0;
    return true;
}

void CCaptureChunker::Stop() {
    // What is still inside the resampler is of no use once capture stops.
    resampler_.Reset();
    ring_.reset();
    assembly_.reset();
    readIndex_ = writeIndex_ = count_ = 0;
    periodFill_ = 0;
}

void CCaptureChunker::BeginPacket(size_t bytes, int64_t ageUs, uint64_t now) {
    if (!ring_) return;
    const uint64_t waitingFrames = bytes / sourceBlockBytes_;
    const uint64_t pendingFrames = periodFill_ / sourceBlockBytes_;
    const uint64_t frames = waitingFrames + pendingFrames;
    const auto rate = static_cast<uint64_t>(source_.rate);
    // Where the server's clock puts the first waiting byte; without its word, it has just arrived.
    const uint64_t age = ageUs >= 0 ? static_cast<uint64_t>(ageUs) * 10 : waitingFrames * kUnitsPerSecond / rate;
    const uint64_t position = now - age - pendingFrames * kUnitsPerSecond / rate;
    const uint64_t d = frames / framesPerPeriod_ * static_cast<uint64_t>(period_);

    if (!timingDecided_) {
        const bool trusted = position <= now && static_cast<int64_t>(now - d - position) < kTrustedAge;
        useOwnClock_ = !trusted;
        timingDecided_ = true;
    }
    if (useOwnClock_) {
        if (static_cast<int64_t>(ownClock_) > static_cast<int64_t>(now) - static_cast<int64_t>(d)) {
            ownClock_ -= kOwnClockStep;
        } else {
            ownClock_ += kOwnClockStep;
        }
        packetTimestamp_ = ownClock_;
        ownClock_ += d;
    } else {
        packetTimestamp_ = position;
    }
    periodInPacket_ = 0;
}

void CCaptureChunker::AddPiece(const uint8_t* data, size_t bytes) {
    if (!ring_) return;
    const uint32_t periodBytes = framesPerPeriod_ * sourceBlockBytes_;
    const uint8_t silence = source_.format == PcmFormat::kU8 ? 0x80 : 0;
    while (bytes > 0) {
        const auto take = static_cast<uint32_t>(std::min<size_t>(bytes, periodBytes - periodFill_));
        if (data != nullptr) {
            std::memcpy(assembly_.get() + periodFill_, data, take);
            data += take;
            periodHasSound_ = true;
        } else {
            std::memset(assembly_.get() + periodFill_, silence, take);
        }
        periodFill_ += take;
        bytes -= take;
        if (periodFill_ == periodBytes) {
            StorePeriod(packetTimestamp_ + static_cast<uint64_t>(periodInPacket_) * static_cast<uint64_t>(period_),
                        !periodHasSound_);
            ++periodInPacket_;
            periodFill_ = 0;
            periodHasSound_ = false;
        }
    }
}

void CCaptureChunker::StorePeriod(uint64_t timestamp, bool silent) {
    // A microphone that sends nothing sends no chunks; the system sound keeps its timeline with zeros.
    if (silent && isCapture_) return;
    // A full ring gives up its oldest chunk before the new one is written over it.
    if (count_ == kRingChunks) DropOldest();
    uint8_t* chunk = ring_.get() + static_cast<size_t>(writeIndex_) * chunkBytes_;
    if (silent) {
        std::memset(chunk, 0, chunkBytes_);
    } else {
        const int32_t converted = resampler_.Convert(assembly_.get(), static_cast<int32_t>(framesPerPeriod_), chunk,
                                                     static_cast<int32_t>(chunkFrames_));
        if (converted != static_cast<int32_t>(chunkFrames_)) return;
    }
    timestamps_[writeIndex_] = timestamp;
    writeIndex_ = (writeIndex_ + 1) % kRingChunks;
    ++count_;
}

int32_t CCaptureChunker::Oldest(const uint8_t** data, uint32_t* bytes, uint64_t* timestamp) const {
    if (count_ == 0) return -1;
    if (data != nullptr) *data = ring_.get() + static_cast<size_t>(readIndex_) * chunkBytes_;
    if (bytes != nullptr) *bytes = chunkBytes_;
    if (timestamp != nullptr) *timestamp = timestamps_[readIndex_];
    return 0;
}

void CCaptureChunker::DropOldest() {
    if (count_ == 0) return;
    readIndex_ = (readIndex_ + 1) % kRingChunks;
    --count_;
}

CAudioDevice::CAudioDevice(SoundServerSource soundServer, std::string friendlyName, std::string endpointId,
                           bool isCapture, int32_t targetRate)
    : friendlyName_(std::move(friendlyName)),
      endpointId_(std::move(endpointId)),
      isCapture_(isCapture),
      soundServer_(std::move(soundServer)),
      targetRate_(targetRate) {}

CAudioDevice::~CAudioDevice() { StopDevice(); }

bool CAudioDevice::OpenDevice() {
    std::shared_ptr<CPulseConnection> server =
        soundServer_ ? soundServer_()
                     : CPulseConnection::Open("pulse", PulseDeadlineIn(std::chrono::milliseconds(3000)));
    capture_ =
        CPulseCapture::Open(std::move(server), isCapture_, endpointId_, std::chrono::microseconds(kBasePeriod / 10));
    if (!capture_) return false;
    friendlyName_ = capture_->Target().endpointName;
    endpointId_ = capture_->Target().endpointId;
    return true;
}

bool CAudioDevice::StartDevice() {
    if (!capture_) return false;
    const PcmSpec& spec = capture_->Spec();
    if (!chunker_.Start(spec, targetRate_, isCapture_, CapturePeriodFor(spec.rate, targetRate_),
                        static_cast<uint64_t>(GetMediaTime100ns()))) {
        return false;
    }
    if (!capture_->Start()) {
        Log(LogLevel::kWarning, "audio", "recording from \"%s\" did not start", friendlyName_.c_str());
        chunker_.Stop();
        return false;
    }
    started_ = true;
    lost_ = false;
    return true;
}

void CAudioDevice::StopDevice() {
    if (capture_) capture_->Stop();
    capture_.reset();
    chunker_.Stop();
    started_ = false;
}

int32_t CAudioDevice::GetBuffer(const uint8_t** data, uint32_t* bytes, uint64_t* timestamp) {
    if (!started_ || lost_) return -1;
    if (capture_->Read(this) < 0) {
        // An unplugged source or a server that went away: the device stays, silent, until replaced.
        Log(LogLevel::kWarning, "audio", "recording from \"%s\" stopped", friendlyName_.c_str());
        lost_ = true;
        return -1;
    }
    return chunker_.Oldest(data, bytes, timestamp);
}

int32_t CAudioDevice::ReleaseBuffer() {
    chunker_.DropOldest();
    return 0;
}

void CAudioDevice::BeginPacket(size_t bytes, int64_t ageUs) {
    chunker_.BeginPacket(bytes, ageUs, static_cast<uint64_t>(GetMediaTime100ns()));
}

void CAudioDevice::AddPiece(const uint8_t* data, size_t bytes) { chunker_.AddPiece(data, bytes); }
