// How a capture device turns what the sound server hands over (packets in pieces of any size, with holes) into
// stamped, converted chunks, without a server: the pieces are fed as libpulse would hand them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "media/audio_device.h"
#include "tests/media/audio_test_support.h"

namespace {

constexpr uint64_t kStart = kClockOrigin;
constexpr uint64_t kPeriod = 100000;

struct Collected {
    std::vector<int16_t> samples;
    std::vector<uint64_t> stamps;
    std::vector<uint32_t> sizes;
};

void Drain(CCaptureChunker* chunker, Collected* out) {
    const uint8_t* data = nullptr;
    uint32_t bytes = 0;
    uint64_t ts = 0;
    while (chunker->Oldest(&data, &bytes, &ts) == 0) {
        const auto* values = reinterpret_cast<const int16_t*>(data);
        out->samples.insert(out->samples.end(), values, values + bytes / 2);
        out->stamps.push_back(ts);
        out->sizes.push_back(bytes);
        chunker->DropOldest();
    }
}

// One packet in pieces of the given sizes (cycled); a negative size is a hole of that many bytes.
void FeedPacket(CCaptureChunker* chunker, const uint8_t* bytes, size_t length, int64_t ageUs, uint64_t now,
                const std::vector<int>& pieces) {
    chunker->BeginPacket(length, ageUs, now);
    size_t at = 0;
    for (size_t i = 0; at < length; ++i) {
        const int piece = pieces[i % pieces.size()];
        const size_t n = std::min(static_cast<size_t>(std::abs(piece)), length - at);
        chunker->AddPiece(piece < 0 ? nullptr : bytes + at, n);
        at += n;
    }
}

std::vector<float> FloatSine(double frequency, double peak, int rate, int frames) {
    std::vector<float> s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<float>(peak * std::sin(2 * 3.14159265358979 * frequency * i / rate));
        s[static_cast<size_t>(i) * 2] = v;
        s[static_cast<size_t>(i) * 2 + 1] = v;
    }
    return s;
}

std::vector<int16_t> Counting(int frames, int channels, int first = 0) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * channels);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>((first * channels + static_cast<int>(i)) % 30000 + 1);
    return s;
}

const PcmSpec kStereo16{PcmFormat::kS16, 44100, 2};

TEST(CapturePeriods, FloatStereoAt48kHzArrivesAs1764ByteChunksOfTheSameTone) {
    CCaptureChunker chunker;
    const PcmSpec spec{PcmFormat::kFloat32, 48000, 2};
    ASSERT_TRUE(chunker.Start(spec, kMixRate, false, CapturePeriodFor(48000, kMixRate), kStart));
    EXPECT_EQ(chunker.FramesPerPeriod(), 480u);
    EXPECT_EQ(chunker.ChunkBytes(), 1764u);

    // One second in 25 ms packets, each in pieces that split frames and samples anywhere.
    const auto tone = FloatSine(1000, 0.5, 48000, 48000);
    const auto* bytes = reinterpret_cast<const uint8_t*>(tone.data());
    const size_t packetBytes = 1200 * 8;
    Collected out;
    for (size_t k = 0; k * packetBytes < tone.size() * 4; ++k) {
        const uint64_t now = kStart + (k + 1) * 250000;
        FeedPacket(&chunker, bytes + k * packetBytes, packetBytes, 25000, now, {1, 7, 333, 4096, 13, 2000, 3});
        Drain(&chunker, &out);
    }
    ASSERT_GE(out.stamps.size(), 98u);
    for (uint32_t size : out.sizes) EXPECT_EQ(size, 1764u);
    for (size_t i = 1; i < out.stamps.size(); ++i) EXPECT_EQ(out.stamps[i] - out.stamps[i - 1], kPeriod);

    const auto left = Channel(out.samples, 0, 200);
    EXPECT_NEAR(ZeroCrossingFrequency(left, kMixRate), 1000.0, 0.5);
    EXPECT_NEAR(SinePeak(left), 0.5, 0.01);
    // No period lost, doubled or split wrongly: the wave never jumps by more than its steepest slope.
    double steepest = 0;
    for (size_t i = 1; i < left.size(); ++i) steepest = std::max(steepest, std::abs(left[i] - left[i - 1]));
    EXPECT_LT(steepest, 0.5 * 2 * 3.1416 * 1000 / kMixRate * 1.1);
}

TEST(CapturePeriods, RatesWithoutWhole10MsPeriodsUseLongerOnes) {
    EXPECT_EQ(CapturePeriodFor(44100, 44100), 100000);
    EXPECT_EQ(CapturePeriodFor(48000, 44100), 100000);
    EXPECT_EQ(CapturePeriodFor(22050, 44100), 200000);
    EXPECT_EQ(CapturePeriodFor(11025, 44100), 400000);

    CCaptureChunker chunker;
    const PcmSpec spec{PcmFormat::kS16, 22050, 2};
    ASSERT_TRUE(chunker.Start(spec, kMixRate, false, CapturePeriodFor(22050, kMixRate), kStart));
    EXPECT_EQ(chunker.FramesPerPeriod(), 441u);
    EXPECT_EQ(chunker.ChunkBytes(), 3528u);
    const auto tone = StereoSine(500, 0.5, 22050, 0, 22050);
    Collected out;
    for (int k = 0; k < 10; ++k) {
        FeedPacket(&chunker, reinterpret_cast<const uint8_t*>(tone.data()) + k * 8820, 8820, 100000,
                   kStart + (k + 1) * 1000000ull, {8820});
        Drain(&chunker, &out);
    }
    // Every period but the resampler's first converts to a whole chunk.
    EXPECT_GE(out.stamps.size(), 49u);
    EXPECT_NEAR(ZeroCrossingFrequency(Channel(out.samples, 0, 500), kMixRate), 500.0, 0.5);
}

TEST(CapturePeriods, AHoleInsideAPeriodIsHeardAsSilence) {
    CCaptureChunker chunker;
    ASSERT_TRUE(chunker.Start(kStereo16, kMixRate, false, kPeriod, kStart));
    const auto input = Counting(441, 2);
    const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
    FeedPacket(&chunker, bytes, 1764, 10000, kStart + kPeriod, {800, -400, 564});
    Collected out;
    Drain(&chunker, &out);
    ASSERT_EQ(out.stamps.size(), 1u);
    for (size_t i = 0; i < out.samples.size(); ++i) {
        const bool inHole = i >= 400 && i < 600;
        EXPECT_EQ(out.samples[i], inHole ? 0 : input[i]) << i;
    }
}

TEST(CaptureSilence, SilentPeriodsFromAMicrophoneYieldNothing) {
    CCaptureChunker chunker;
    ASSERT_TRUE(chunker.Start(kStereo16, kMixRate, true, kPeriod, kStart));
    FeedPacket(&chunker, nullptr, 3 * 1764, 30000, kStart + 3 * kPeriod, {-3 * 1764});
    EXPECT_EQ(chunker.Count(), 0u);
    // Sound after the silence still comes through.
    const auto input = Counting(441, 2);
    FeedPacket(&chunker, reinterpret_cast<const uint8_t*>(input.data()), 1764, 10000, kStart + 4 * kPeriod, {1764});
    EXPECT_EQ(chunker.Count(), 1u);
}

TEST(CaptureSilence, SilentPeriodsOfSystemSoundBecomeChunksOfZeros) {
    CCaptureChunker chunker;
    ASSERT_TRUE(chunker.Start(kStereo16, kMixRate, false, kPeriod, kStart));
    const uint64_t now = kStart + 5 * kPeriod;
    FeedPacket(&chunker, nullptr, 3 * 1764, 30000, now, {-3 * 1764});
    Collected out;
    Drain(&chunker, &out);
    ASSERT_EQ(out.stamps.size(), 3u);
    EXPECT_EQ(out.stamps[0], now - 300000);
    EXPECT_EQ(out.stamps[2], now - 100000);
    EXPECT_TRUE(std::all_of(out.samples.begin(), out.samples.end(), [](int16_t v) { return v == 0; }));
}

TEST(CaptureTiming, ChunksAreStampedWithTheServersCaptureTime) {
    CCaptureChunker chunker;
    ASSERT_TRUE(chunker.Start(kStereo16, kMixRate, false, kPeriod, kStart));
    const auto input = Counting(441 * 3, 2);
    const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
    // Two periods and 100 frames, the first captured 40 ms ago.
    const uint64_t now1 = kStart + 10000000;
    FeedPacket(&chunker, bytes, (2 * 441 + 100) * 4, 40000, now1, {1000});
    // The rest of the third period, its first byte captured 5 ms ago: the period began 100 frames earlier.
    const uint64_t now2 = now1 + 80000;
    FeedPacket(&chunker, bytes + (2 * 441 + 100) * 4, 341 * 4, 5000, now2, {1000});
    Collected out;
    Drain(&chunker, &out);
    ASSERT_EQ(out.stamps.size(), 3u);
    EXPECT_EQ(out.stamps[0], now1 - 400000);
    EXPECT_EQ(out.stamps[1], now1 - 300000);
    EXPECT_EQ(out.stamps[2], now2 - 50000 - 100ull * 10000000 / 44100);
    EXPECT_EQ(out.samples, std::vector<int16_t>(input.begin(), input.end()));
    EXPECT_FALSE(chunker.UsesOwnClock());
}

TEST(CaptureTiming, AMicrophoneWithFreshTimingKeepsTheServersClock) {
    CCaptureChunker chunker;
    ASSERT_TRUE(chunker.Start(kStereo16, kMixRate, true, kPeriod, kStart));
    const auto input = Counting(441, 2);
    const uint64_t now = kStart + 2000000;
    FeedPacket(&chunker, reinterpret_cast<const uint8_t*>(input.data()), 1764, 95000, now, {1764});
    EXPECT_TRUE(chunker.TimingDecided());
    EXPECT_FALSE(chunker.UsesOwnClock());
    Collected out;
    Drain(&chunker, &out);
    ASSERT_EQ(out.stamps.size(), 1u);
    EXPECT_EQ(out.stamps[0], now - 950000);
}

TEST(CaptureTiming, AMicrophoneWhoseFirstPacketIsStaleRunsOnItsOwnClockForGood) {
    CCaptureChunker chunker;
    ASSERT_TRUE(chunker.Start(kStereo16, kMixRate, true, kPeriod, kStart));
    const auto input = Counting(441, 2);
    const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
    // Captured 130 ms ago: 120 ms older than its own length allows.
    FeedPacket(&chunker, bytes, 1764, 130000, kStart + 3000000, {1764});
    EXPECT_TRUE(chunker.UsesOwnClock());
    // Later packets with good timing do not change the decision.
    FeedPacket(&chunker, bytes, 1764, 1000, kStart + 3100000, {1764});
    EXPECT_TRUE(chunker.UsesOwnClock());
    Collected out;
    Drain(&chunker, &out);
    ASSERT_EQ(out.stamps.size(), 2u);
    // The own clock started with the device and is pulled 50 us toward real time per packet.
    EXPECT_EQ(out.stamps[0], kStart + 500);
    EXPECT_EQ(out.stamps[1], kStart + 500 + kPeriod + 500);
}

TEST(CaptureTiming, TheOwnClockIsPulledTowardRealTimeFromEitherSide) {
    CCaptureChunker chunker;
    ASSERT_TRUE(chunker.Start(kStereo16, kMixRate, true, kPeriod, kStart));
    const auto input = Counting(441, 2);
    const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
    // Packets arriving faster than real time: the clock runs ahead and is held back...
    FeedPacket(&chunker, bytes, 1764, 300000, kStart + kPeriod, {1764});
    FeedPacket(&chunker, bytes, 1764, 0, kStart + kPeriod + 50000, {1764});
    FeedPacket(&chunker, bytes, 1764, 0, kStart + kPeriod + 100000, {1764});
    // ...and after a long pause it lags and is pushed on.
    FeedPacket(&chunker, bytes, 1764, 0, kStart + 10000000, {1764});
    Collected out;
    Drain(&chunker, &out);
    ASSERT_EQ(out.stamps.size(), 4u);
    EXPECT_EQ(out.stamps[1] - out.stamps[0], kPeriod - 500);
    EXPECT_EQ(out.stamps[2] - out.stamps[1], kPeriod - 500);
    EXPECT_EQ(out.stamps[3] - out.stamps[2], kPeriod + 500);
}

TEST(CaptureRing, TheHundredAndFirstChunkPushesOutTheOldest) {
    CCaptureChunker chunker;
    ASSERT_TRUE(chunker.Start(kStereo16, kMixRate, false, kPeriod, kStart));
    const auto input = Counting(441 * 101, 2);
    const uint64_t now = kStart + 20000000;
    FeedPacket(&chunker, reinterpret_cast<const uint8_t*>(input.data()), input.size() * 2, 1010000, now, {1764});
    EXPECT_EQ(chunker.Count(), 100u);
    const uint8_t* data = nullptr;
    uint32_t bytes = 0;
    uint64_t ts = 0;
    ASSERT_EQ(chunker.Oldest(&data, &bytes, &ts), 0);
    EXPECT_EQ(ts, now - 101 * kPeriod + kPeriod);
    EXPECT_EQ(std::memcmp(data, input.data() + 441 * 2, 1764), 0);
}

TEST(CaptureConversion, AMonoMicrophoneIsHeardOnBothSidesAtFullLevel) {
    CCaptureChunker chunker;
    ASSERT_TRUE(chunker.Start(PcmSpec{PcmFormat::kS16, 44100, 1}, kMixRate, true, kPeriod, kStart));
    const auto input = Counting(441, 1);
    FeedPacket(&chunker, reinterpret_cast<const uint8_t*>(input.data()), 882, 10000, kStart + kPeriod, {882});
    Collected out;
    Drain(&chunker, &out);
    ASSERT_EQ(out.samples.size(), 882u);
    for (size_t i = 0; i < input.size(); ++i) {
        EXPECT_NEAR(out.samples[i * 2], input[i], 1) << i;
        EXPECT_NEAR(out.samples[i * 2 + 1], input[i], 1) << i;
    }
}

}  // namespace
