// The hardware AAC encoder on a runtime that behaves like the SDK's audio library, and on the real dispatcher of
// this machine, which has no audio library.
#include "media/intel_aac_codec.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/media/fake_mfx_session.h"
#include "tests/media/media_test_support.h"

namespace {

constexpr int kRate = 44100;

struct AacClip {
    FakeAudioRuntime runtime;
    std::unique_ptr<CIntelAACCodec> codec;
    CodecParams params{};
    SinkCapture capture;
    int64_t nextSample = 0;
    std::vector<uint8_t> fed;  // every PCM byte, in order
    int32_t openResult = 0;

    explicit AacClip(int delay = 0, bool crc = false) {
        runtime.delay = delay;
        runtime.crc = crc;
        params.bitrate = 128000;
        params.channels = 2;
        params.sampleRate = kRate;
        capture.Attach(&params);
        codec = std::make_unique<CIntelAACCodec>(std::make_unique<FakeAudioSession>(&runtime));
    }

    int32_t Open() { return openResult = codec->Open(&params); }

    // Feeds the next bytes of a sine stamped at timestamp.
    void Feed(int bytes, uint32_t timestamp) {
        const auto samples = StereoSine(440, 0.5, kRate, nextSample, bytes / 4 + 1);
        nextSample += bytes / 4;
        const auto* data = reinterpret_cast<const uint8_t*>(samples.data());
        fed.insert(fed.end(), data, data + bytes);
        params.inputData = data;
        params.inputBytes = bytes;
        params.audioTimestamp = timestamp;
        ++capture.call;
        codec->Encode(&params);
    }

    int32_t Close() {
        capture.call = -1;
        return codec->Close(&params);
    }

    // The payload the runtime writes for frame `index`: its marker, index and first four PCM bytes.
    std::vector<uint8_t> Payload(int index) const {
        std::vector<uint8_t> p(FakeAudioRuntime::kPayloadBytes, 0x5A);
        p[0] = 0xAC;
        p[1] = static_cast<uint8_t>(index);
        const size_t at = static_cast<size_t>(index) * runtime.inputSize;
        for (size_t i = 0; i < 4; ++i) p[2 + i] = fed[at + i];
        return p;
    }
};

}  // namespace

TEST(IntelAacOpen, AsksForAacLcInAdtsWithTheBlockSettings) {
    AacClip clip;
    ASSERT_EQ(clip.Open(), 0);
    EXPECT_TRUE(clip.codec->IsOpen());
    EXPECT_EQ(clip.codec->Name(), "IntelAAC");
    EXPECT_EQ(clip.runtime.initCalls, std::vector<mfxIMPL>{0x8001});
    const mfxAudioInfoMFX& mfx = clip.runtime.queried.mfx;
    EXPECT_EQ(mfx.CodecId, static_cast<mfxU32>(MFX_CODEC_AAC));
    EXPECT_EQ(mfx.CodecProfile, MFX_PROFILE_AAC_LC);
    EXPECT_EQ(mfx.Bitrate, 128000u);
    EXPECT_EQ(mfx.SampleFrequency, 44100u);
    EXPECT_EQ(mfx.NumChannel, 2);
    EXPECT_EQ(mfx.BitPerSample, 16);
    EXPECT_EQ(mfx.OutputFormat, MFX_AUDIO_AAC_ADTS);
    EXPECT_EQ(mfx.StereoMode, MFX_AUDIO_AAC_LR_STEREO);
    EXPECT_EQ(clip.codec->FrameBytes(), 4096u);

    const uint8_t* asc = nullptr;
    int32_t length = 0;
    clip.codec->GetAudioSpecificConfig(&asc, &length);
    ASSERT_EQ(length, 2);
    EXPECT_EQ(asc[0], 0x12);
    EXPECT_EQ(asc[1], 0x10);
}

TEST(IntelAacRecut, BlockCompletingAFrameStampsItWithTheTimeOfItsFirstByte) {
    AacClip clip;
    ASSERT_EQ(clip.Open(), 0);
    clip.Feed(3500, 1000);
    EXPECT_TRUE(clip.capture.units.empty());
    EXPECT_EQ(clip.codec->Pending(), 3500u);
    clip.Feed(1000, 1020);
    ASSERT_EQ(clip.capture.units.size(), 1u);
    EXPECT_EQ(clip.codec->Pending(), 404u);
    const CapturedUnit& u = clip.capture.units[0];
    // 3500 bytes are 19 ms of 44.1 kHz stereo.
    EXPECT_EQ(u.pts, 1020 - 19);
    EXPECT_EQ(u.dts, u.pts);
    EXPECT_EQ(u.type, PACKET_TYPE_AUDIO);
    EXPECT_EQ(u.mediaKind, MEDIA_AUDIO);
    EXPECT_EQ(u.durationMs, 23);
    EXPECT_EQ(u.prefixLength, 0);
    EXPECT_EQ(u.bytes, clip.Payload(0));
}

TEST(IntelAacRecut, TwoFramesInOneBlockAreOneFrameDurationApart) {
    AacClip clip;
    ASSERT_EQ(clip.Open(), 0);
    clip.Feed(8192 + 100, 500);
    ASSERT_EQ(clip.capture.units.size(), 2u);
    EXPECT_EQ(clip.capture.units[0].pts, 500);
    EXPECT_EQ(clip.capture.units[1].pts, 523);
    EXPECT_EQ(clip.capture.units[1].bytes, clip.Payload(1));
    EXPECT_EQ(clip.codec->Pending(), 100u);
    EXPECT_EQ(clip.runtime.encodeCalls, 2);
}

TEST(IntelAacAdts, HeaderIsStrippedWhetherOrNotItCarriesACrc) {
    for (bool crc : {false, true}) {
        AacClip clip(0, crc);
        ASSERT_EQ(clip.Open(), 0);
        clip.Feed(4096 * 3, 0);
        ASSERT_EQ(clip.capture.units.size(), 3u) << "crc " << crc;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(clip.capture.units[i].bytes, clip.Payload(i)) << "crc " << crc << " frame " << i;
            EXPECT_EQ(clip.capture.units[i].size, static_cast<int32_t>(FakeAudioRuntime::kPayloadBytes));
        }
    }
}

TEST(IntelAacClose, DeliversTheFramesTheEncoderStillHolds) {
    AacClip clip(2);
    ASSERT_EQ(clip.Open(), 0);
    for (int i = 0; i < 5; ++i) clip.Feed(4096, static_cast<uint32_t>(100 + 23 * i));
    ASSERT_EQ(clip.capture.units.size(), 3u);
    EXPECT_EQ(clip.Close(), 0);
    ASSERT_EQ(clip.capture.units.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(clip.capture.units[i].bytes, clip.Payload(i));
        EXPECT_EQ(clip.capture.units[i].pts, 100 + 23 * i);
    }
    EXPECT_EQ(clip.capture.units[3].call, -1);
    EXPECT_EQ(clip.runtime.encodersOpen, 0);
    EXPECT_EQ(clip.runtime.sessionsOpen, 0);

    const int calls = clip.runtime.encodeCalls;
    clip.Feed(8192, 1000);
    EXPECT_EQ(clip.runtime.encodeCalls, calls);
    EXPECT_EQ(clip.capture.units.size(), 5u);
}

TEST(IntelAacRefusal, AnyAnswerButSuccessLeavesItClosedAndSilent) {
    struct Case {
        mfxStatus FakeAudioRuntime::*field;
        mfxStatus status;
    };
    for (const Case c : {Case{&FakeAudioRuntime::queryStatus, MFX_ERR_UNSUPPORTED},
                         Case{&FakeAudioRuntime::queryStatus, MFX_WRN_INCOMPATIBLE_AUDIO_PARAM},
                         Case{&FakeAudioRuntime::queryIOSizeStatus, MFX_ERR_INVALID_AUDIO_PARAM},
                         Case{&FakeAudioRuntime::initStatus, MFX_ERR_MEMORY_ALLOC}}) {
        AacClip clip;
        clip.runtime.*c.field = c.status;
        EXPECT_EQ(clip.Open(), c.status);
        EXPECT_FALSE(clip.codec->IsOpen());
        EXPECT_EQ(clip.runtime.encodersOpen, 0);
        EXPECT_EQ(clip.runtime.sessionsOpen, 0);
        clip.Feed(4096 * 2, 0);
        EXPECT_EQ(clip.Close(), 0);
        EXPECT_EQ(clip.runtime.encodeCalls, 0);
        EXPECT_TRUE(clip.capture.units.empty());
        int32_t length = -1;
        const uint8_t* asc = nullptr;
        clip.codec->GetAudioSpecificConfig(&asc, &length);
        EXPECT_EQ(length, 0);
    }
}

TEST(IntelAacDispatcher, WithoutTheAudioLibraryItStaysClosedAndProducesNothing) {
    CIntelAACCodec codec;
    CodecParams params{};
    params.bitrate = 128000;
    params.channels = 2;
    params.sampleRate = kRate;
    SinkCapture capture;
    capture.Attach(&params);
    EXPECT_LT(codec.Open(&params), 0);
    EXPECT_FALSE(codec.IsOpen());
    const auto samples = StereoSine(440, 0.5, kRate, 0, 44100);
    params.inputData = reinterpret_cast<const uint8_t*>(samples.data());
    params.inputBytes = static_cast<int32_t>(samples.size() * 2);
    for (uint32_t t = 0; t < 10; ++t) {
        params.audioTimestamp = t * 1000;
        EXPECT_EQ(codec.Encode(&params), 0);
    }
    EXPECT_EQ(codec.Close(&params), 0);
    EXPECT_TRUE(capture.units.empty());
    int32_t length = -1;
    const uint8_t* asc = nullptr;
    codec.GetAudioSpecificConfig(&asc, &length);
    EXPECT_EQ(length, 0);
}
