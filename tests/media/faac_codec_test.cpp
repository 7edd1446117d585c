// The software AAC encoder, read back through FFmpeg's AAC decoder. Without libfaac on the machine this also
// covers our libfaac-compatible layer, which CLibfaacCodec cannot tell apart from the library.
#include "media/faac_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "tests/media/media_test_support.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFrameBytes = 4096;  // 1024 stereo 16-bit samples

CodecParams AudioParams(int sampleRate = kRate, int channels = 2, int32_t bitrate = 128000) {
    CodecParams params{};
    params.bitrate = bitrate;
    params.channels = channels;
    params.sampleRate = sampleRate;
    return params;
}

// An open encoder with its sink, fed from one continuous sine so that every block is real sound.
class AacFixture {
public:
    explicit AacFixture(int sampleRate = kRate) : params_(AudioParams(sampleRate)), sampleRate_(sampleRate) {
        capture.Attach(&params_);
        openResult = codec.Open(&params_);
    }
    ~AacFixture() { codec.Close(&params_); }

    // Feeds the next bytes of the sine stamped at timestamp; returns the units this call delivered.
    std::vector<CapturedUnit> Feed(int bytes, uint32_t timestamp) {
        const auto samples = StereoSine(1000, 0.5, sampleRate_, nextSample_, bytes / 4 + 1);
        nextSample_ += bytes / 4;
        params_.inputData = reinterpret_cast<const uint8_t*>(samples.data());
        params_.inputBytes = bytes;
        params_.audioTimestamp = timestamp;
        const size_t before = capture.units.size();
        EXPECT_EQ(codec.Encode(&params_), 0);
        return {capture.units.begin() + static_cast<ptrdiff_t>(before), capture.units.end()};
    }

    // Feeds whole frames until the library's start-up delay is over, so that every completed frame comes out.
    void Prime() {
        for (int i = 0; i < 8 && capture.units.empty(); ++i) Feed(kFrameBytes, 0);
        ASSERT_FALSE(capture.units.empty()) << "the encoder never produced a frame";
        ASSERT_EQ(codec.Pending(), 0u);
        capture.units.clear();
    }

    std::vector<uint8_t> AudioSpecificConfig() {
        const uint8_t* data = nullptr;
        int32_t length = 0;
        codec.GetAudioSpecificConfig(&data, &length);
        return {data, data + length};
    }

    CLibfaacCodec codec;
    SinkCapture capture;
    int32_t openResult = 0;

private:
    CodecParams params_;
    int sampleRate_;
    int64_t nextSample_ = 0;
};

TEST(AacStream, OneKilohertzSineDecodesBackAtOneKilohertzAndTheSameLevel) {
    AacFixture aac;
    ASSERT_EQ(aac.openResult, 0);
    // Three seconds in the mixer's 40 ms blocks.
    const int blockBytes = kRate * 40 / 1000 * 4;
    for (int i = 0; i < 75; ++i) aac.Feed(blockBytes, static_cast<uint32_t>(i * 40));
    ASSERT_GT(aac.capture.units.size(), 120u);

    TestDecoder decoder(AV_CODEC_ID_AAC, aac.AudioSpecificConfig());
    ASSERT_TRUE(decoder.ok());
    for (const CapturedUnit& u : aac.capture.units) {
        // Raw frames: no ADTS header travels to the sink.
        ASSERT_FALSE(u.bytes.size() >= 2 && u.bytes[0] == 0xFF && (u.bytes[1] & 0xF0) == 0xF0);
        ASSERT_TRUE(decoder.Decode(u.bytes, u.pts, u.dts));
    }
    decoder.Flush();
    EXPECT_EQ(decoder.errors, 0);
    ASSERT_EQ(decoder.frames.size(), aac.capture.units.size());
    ASSERT_EQ(decoder.context()->sample_rate, kRate);
    ASSERT_EQ(decoder.context()->ch_layout.nb_channels, 2);
    ASSERT_EQ(decoder.context()->sample_fmt, AV_SAMPLE_FMT_FLTP);

    for (int ch = 0; ch < 2; ++ch) {
        std::vector<float> pcm;
        for (const FramePtr& f : decoder.frames) {
            const float* plane = reinterpret_cast<const float*>(f->extended_data[ch]);
            pcm.insert(pcm.end(), plane, plane + f->nb_samples);
        }
        // Leave out the encoder's start-up frame and the edges of the stream.
        const size_t first = 4096, last = pcm.size() - 2048;
        double energy = 0;
        int rising = 0;
        size_t firstRise = 0, lastRise = 0;
        for (size_t i = first; i < last; ++i) {
            energy += static_cast<double>(pcm[i]) * pcm[i];
            if (pcm[i - 1] < 0 && pcm[i] >= 0) {
                if (rising == 0) firstRise = i;
                lastRise = i;
                ++rising;
            }
        }
        const double rms = std::sqrt(energy / static_cast<double>(last - first));
        const double frequency = (rising - 1) * static_cast<double>(kRate) / static_cast<double>(lastRise - firstRise);
        const double levelDb = 20 * std::log10(rms / (0.5 / std::sqrt(2.0)));
        std::printf("[ aac      ] channel %d: %.2f Hz, level %+.2f dB against the input\n", ch, frequency, levelDb);
        EXPECT_NEAR(frequency, 1000.0, 2.0);
        EXPECT_NEAR(levelDb, 0.0, 0.5);
    }
}

TEST(AacStream, FramesAre23MillisecondsApartWithTheirFields) {
    AacFixture aac;
    ASSERT_EQ(aac.openResult, 0);
    const int blockBytes = kRate * 40 / 1000 * 4;
    for (int i = 0; i < 50; ++i) aac.Feed(blockBytes, static_cast<uint32_t>(1000 + i * 40));
    const auto& units = aac.capture.units;
    ASSERT_GT(units.size(), 60u);
    for (size_t k = 0; k < units.size(); ++k) {
        const CapturedUnit& u = units[k];
        EXPECT_EQ(u.type, PACKET_TYPE_AUDIO);
        EXPECT_EQ(u.reserved, 0);
        EXPECT_EQ(u.mediaKind, MEDIA_AUDIO);
        EXPECT_EQ(u.prefixLength, 0);
        EXPECT_EQ(u.frameType, 0);
        EXPECT_EQ(u.durationMs, 23);
        EXPECT_EQ(u.size, static_cast<int32_t>(u.bytes.size()));
        EXPECT_EQ(u.pts, u.dts);
        // 1024 samples are 23.22 ms: whole-millisecond stamps stay within a millisecond of the true times.
        const double expected = static_cast<double>(units[0].pts) + k * 1024 * 1000.0 / kRate;
        EXPECT_NEAR(static_cast<double>(u.pts), expected, 1.0) << "frame " << k;
        if (k > 0) {
            EXPECT_GE(u.pts - units[k - 1].pts, 22);
        }
    }
}

TEST(AacRecut, FullFrameWithNothingPendingComesOutAtTheBlockTime) {
    AacFixture fresh;
    ASSERT_EQ(fresh.openResult, 0);
    // The very first frame may stay inside the library.
    EXPECT_LE(fresh.Feed(kFrameBytes, 700).size(), 1u);

    AacFixture aac;
    aac.Prime();
    const auto units = aac.Feed(kFrameBytes, 5000);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].pts, 5000);
    EXPECT_EQ(aac.codec.Pending(), 0u);
}

TEST(AacRecut, ThousandBytesOnTopOf3500CompleteAFrameStampedNineteenMillisecondsEarlier) {
    AacFixture aac;
    aac.Prime();
    EXPECT_TRUE(aac.Feed(3500, 9000).empty());
    EXPECT_EQ(aac.codec.Pending(), 3500u);
    const auto units = aac.Feed(1000, 10000);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].pts, 10000 - 19);  // 3500 x 250 / 44100 = 19
    EXPECT_EQ(aac.codec.Pending(), 404u);
    // The 404 bytes left over start the next frame 2 ms before the next block.
    const auto next = aac.Feed(kFrameBytes - 404, 20000);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].pts, 20000 - 2);
    EXPECT_EQ(aac.codec.Pending(), 0u);
}

TEST(AacRecut, TwoFramesInOneCallAreStampedTAndTPlus23) {
    AacFixture aac;
    aac.Prime();
    const auto units = aac.Feed(2 * kFrameBytes + 100, 30000);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].pts, 30000);
    EXPECT_EQ(units[1].pts, 30023);
    EXPECT_EQ(aac.codec.Pending(), 100u);
}

TEST(AacRecut, EmptyInputChangesNothing) {
    AacFixture aac;
    aac.Prime();
    aac.Feed(100, 40000);
    EXPECT_TRUE(aac.Feed(0, 40040).empty());
    EXPECT_EQ(aac.codec.Pending(), 100u);
    // The pending bytes still belong to the first block's time.
    const auto units = aac.Feed(kFrameBytes - 100, 40080);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].pts, 40080 - 100 * 250 / kRate);
}

TEST(AacConfig, AudioSpecificConfigMatchesRateAndChannels) {
    struct Case {
        int rate;
        uint8_t first, second;
        int32_t durationMs;
    };
    // AAC LC (2), frequency index, two channels.
    for (const Case& c : {Case{44100, 0x12, 0x10, 23}, Case{48000, 0x11, 0x90, 21}, Case{32000, 0x12, 0x90, 32}}) {
        SCOPED_TRACE(c.rate);
        AacFixture aac(c.rate);
        ASSERT_EQ(aac.openResult, 0);
        EXPECT_EQ(aac.AudioSpecificConfig(), (std::vector<uint8_t>{c.first, c.second}));
        EXPECT_EQ(aac.codec.FrameBytes(), kFrameBytes);
        aac.Prime();
        const auto units = aac.Feed(kFrameBytes, 100);
        ASSERT_EQ(units.size(), 1u);
        EXPECT_EQ(units[0].durationMs, c.durationMs);
        // The configuration is the one the frames decode with.
        TestDecoder decoder(AV_CODEC_ID_AAC, aac.AudioSpecificConfig());
        ASSERT_TRUE(decoder.ok());
        EXPECT_TRUE(decoder.Decode(units[0].bytes, units[0].pts, units[0].dts));
        EXPECT_EQ(decoder.context()->sample_rate, c.rate);
    }
}

TEST(AacOpen, RefusedRatesLeaveAHarmlessEncoder) {
    for (int rate : {0, 12345}) {
        SCOPED_TRACE(rate);
        CLibfaacCodec codec;
        CodecParams params = AudioParams(rate);
        SinkCapture capture;
        capture.Attach(&params);
        EXPECT_LT(codec.Open(&params), 0);
        std::vector<uint8_t> pcm(kFrameBytes * 3, 0);
        params.inputData = pcm.data();
        params.inputBytes = static_cast<int32_t>(pcm.size());
        EXPECT_EQ(codec.Encode(&params), 0);
        EXPECT_EQ(codec.Close(&params), 0);
        EXPECT_TRUE(capture.units.empty());
    }
}

TEST(AacClose, NothingComesOutAfterClose) {
    CLibfaacCodec codec;
    CodecParams params = AudioParams();
    SinkCapture capture;
    capture.Attach(&params);
    ASSERT_EQ(codec.Open(&params), 0);
    const auto pcm = StereoSine(1000, 0.5, kRate, 0, 1024 * 6);
    params.inputData = reinterpret_cast<const uint8_t*>(pcm.data());
    params.inputBytes = 1024 * 4 * 3;
    codec.Encode(&params);
    EXPECT_EQ(codec.Close(&params), 0);
    const size_t units = capture.units.size();
    codec.Encode(&params);
    EXPECT_EQ(capture.units.size(), units);
}

}  // namespace
