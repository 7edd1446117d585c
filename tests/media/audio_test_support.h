// Test helpers for sound capture and mixing: scripted sources on a test clock, an engine stand-in
// that keeps every block the mixer hands it (or encodes it with the real AAC encoder), and
// measurements of frequency and level.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "media/audio_feed.h"
#include "media/base_device.h"
#include "media/faac_codec.h"
#include "tests/media/media_test_support.h"

constexpr int kMixRate = 44100;
constexpr uint64_t kUnitsPerMs = 10000;
// A media-clock origin far from zero, in whole milliseconds, like a machine that has been up a while.
constexpr uint64_t kClockOrigin = 36000ull * 1000 * kUnitsPerMs;

// A sound source whose chunks become ready at given times of a clock the test controls.
class ScriptedSource : public CBaseDevice {
public:
    explicit ScriptedSource(std::function<uint64_t()> clock, float gain = 1.0f) : clock_(std::move(clock)) {
        SetGain(gain);
    }

    // Queues a chunk stamped ts that is ready from readyAt on (on the test clock).
    void Push(uint64_t ts, std::vector<int16_t> samples, uint64_t readyAt = 0) {
        std::lock_guard<std::mutex> guard(lock_);
        chunks_.push_back({ts, readyAt, std::move(samples)});
    }

    int32_t GetBuffer(const uint8_t** data, uint32_t* bytes, uint64_t* timestamp) override {
        std::lock_guard<std::mutex> guard(lock_);
        if (chunks_.empty() || chunks_.front().readyAt > clock_()) return -1;
        const Chunk& c = chunks_.front();
        *data = reinterpret_cast<const uint8_t*>(c.samples.data());
        *bytes = static_cast<uint32_t>(c.samples.size() * sizeof(int16_t));
        *timestamp = c.ts;
        return 1;
    }

    int32_t ReleaseBuffer() override {
        std::lock_guard<std::mutex> guard(lock_);
        if (!chunks_.empty()) {
            chunks_.pop_front();
            ++released_;
        }
        return 0;
    }

    size_t Waiting() const {
        std::lock_guard<std::mutex> guard(lock_);
        return chunks_.size();
    }
    int Released() const {
        std::lock_guard<std::mutex> guard(lock_);
        return released_;
    }

private:
    struct Chunk {
        uint64_t ts;
        uint64_t readyAt;
        std::vector<int16_t> samples;
    };
    std::function<uint64_t()> clock_;
    mutable std::mutex lock_;
    std::deque<Chunk> chunks_;
    int released_ = 0;
};

struct DeliveredBlock {
    uint32_t timestamp = 0;
    std::vector<int16_t> samples;
    uint64_t deliveredAt = 0;  // on the clock the recorder was given
};

// An engine in a live state that keeps a copy of every block it is asked to encode.
class BlockRecorder : public IAudioFeed {
public:
    explicit BlockRecorder(std::function<uint64_t()> clock = {}) : clock_(std::move(clock)) {}

    int32_t State() const override { return kEngineLiveRecording; }
    bool HasAudioEncoder() const override { return true; }
    void EncodeAudio(const uint8_t* pcm, int32_t bytes, uint32_t timestamp) override {
        DeliveredBlock block;
        block.timestamp = timestamp;
        block.samples.resize(static_cast<size_t>(bytes) / 2);
        std::memcpy(block.samples.data(), pcm, block.samples.size() * 2);
        block.deliveredAt = clock_ ? clock_() : 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            blocks_.push_back(std::move(block));
        }
        changed_.notify_all();
    }

    std::vector<DeliveredBlock> Blocks() const {
        std::lock_guard<std::mutex> guard(lock_);
        return blocks_;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> guard(lock_);
        return blocks_.size();
    }
    // Waits until done(blocks) holds or the deadline passes; returns done's last answer.
    bool WaitFor(const std::function<bool(const std::vector<DeliveredBlock>&)>& done, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, limit, [&] { return done(blocks_); });
    }
    bool WaitForCount(size_t count, std::chrono::milliseconds limit) {
        return WaitFor([count](const std::vector<DeliveredBlock>& b) { return b.size() >= count; }, limit);
    }

private:
    std::function<uint64_t()> clock_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<DeliveredBlock> blocks_;
};

// The delivered blocks joined into one stream of interleaved stereo values.
inline std::vector<int16_t> Joined(const std::vector<DeliveredBlock>& blocks, size_t from = 0) {
    std::vector<int16_t> all;
    for (size_t i = from; i < blocks.size(); ++i)
        all.insert(all.end(), blocks[i].samples.begin(), blocks[i].samples.end());
    return all;
}

// One channel (0 left, 1 right) of interleaved stereo values, as doubles in full-scale units.
inline std::vector<double> Channel(const std::vector<int16_t>& stereo, int channel, size_t firstFrame = 0,
                                   size_t frames = SIZE_MAX) {
    std::vector<double> out;
    const size_t total = stereo.size() / 2;
    for (size_t f = firstFrame; f < total && out.size() < frames; ++f) out.push_back(stereo[f * 2 + channel] / 32768.0);
    return out;
}

// The dominant frequency from rising zero crossings, interpolated between samples.
inline double ZeroCrossingFrequency(const std::vector<double>& x, int sampleRate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double at = static_cast<double>(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * static_cast<double>(sampleRate) / (last - first);
}

// The peak of a sine from its RMS, in full-scale units.
inline double SinePeak(const std::vector<double>& x) {
    if (x.empty()) return 0;
    double sum = 0;
    for (double v : x) sum += v * v;
    return std::sqrt(2.0 * sum / static_cast<double>(x.size()));
}

// Index of the first frame whose left or right value reaches threshold (full-scale units); -1 if none.
inline long FirstLoudFrame(const std::vector<int16_t>& stereo, double threshold, size_t from = 0) {
    const auto limit = static_cast<int>(threshold * 32768);
    for (size_t f = from; f < stereo.size() / 2; ++f) {
        if (std::abs(stereo[f * 2]) >= limit || std::abs(stereo[f * 2 + 1]) >= limit) return static_cast<long>(f);
    }
    return -1;
}

// An engine whose audio encoder is the real AAC encoder; keeps every frame the sink receives.
class AacRecorder : public IAudioFeed {
public:
    AacRecorder() {
        params_.bitrate = 128000;
        params_.channels = 2;
        params_.sampleRate = kMixRate;
        capture.Attach(&params_);
        openResult = codec_.Open(&params_);
    }
    ~AacRecorder() override { codec_.Close(&params_); }

    int32_t State() const override { return kEngineLivePublishing; }
    bool HasAudioEncoder() const override { return openResult == 0; }
    void EncodeAudio(const uint8_t* pcm, int32_t bytes, uint32_t timestamp) override {
        params_.inputData = pcm;
        params_.inputBytes = bytes;
        params_.audioTimestamp = timestamp;
        ++blocks;
        codec_.Encode(&params_);
    }

    std::vector<uint8_t> AudioSpecificConfig() {
        const uint8_t* data = nullptr;
        int32_t length = 0;
        codec_.GetAudioSpecificConfig(&data, &length);
        return {data, data + length};
    }

    SinkCapture capture;
    int32_t openResult = -1;
    int blocks = 0;

private:
    CLibfaacCodec codec_;
    CodecParams params_{};
};

// Writes a 16-bit PCM WAV file.
inline bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    auto u32 = [f](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [f](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate * channels * 2));
    u16(static_cast<uint16_t>(channels * 2));
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(dataBytes);
    std::fwrite(samples.data(), 2, samples.size(), f);
    return std::fclose(f) == 0;
}
