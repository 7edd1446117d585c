// The audio mixer with scripted sources. Most cases run the mixing passes themselves on a test clock, one pass
// per millisecond as the mixing thread does, so that where each chunk lands is exact; the last ones use the
// real mixing thread.
#include "media/audio_mixer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/media_clock.h"
#include "platform/thread_util.h"
#include "tests/media/audio_test_support.h"

namespace {

constexpr uint32_t kOriginMs = static_cast<uint32_t>(kClockOrigin / kUnitsPerMs);
constexpr int kFramesPer10Ms = kMixRate / 100;

// A mixer without its thread, run pass by pass on a clock the test moves.
class ManualMixer {
public:
    uint64_t now = kClockOrigin;
    CAudioMixer mixer{kMixRate, [this] { return now; }};
    BlockRecorder recorder{[this] { return now; }};

    std::function<uint64_t()> Clock() {
        return [this] { return now; };
    }
    // Advances the clock by ms milliseconds with one pass per millisecond.
    void Run(int ms) {
        for (int i = 0; i < ms; ++i) {
            now += kUnitsPerMs;
            mixer.RunPass();
        }
    }
    void Attach(uint32_t timeBaseMs = kOriginMs) { mixer.AttachEngine(&recorder, timeBaseMs); }
};

// Value n of a test signal that never repeats within a few seconds: a misplaced, lost or doubled sample shows.
int16_t Pattern(int64_t n, int channel) {
    const auto v = static_cast<int16_t>((n * 37 + 11) % 20000 - 10000);
    return channel == 0 ? v : static_cast<int16_t>(-v);
}

std::vector<int16_t> PatternChunk(int64_t firstFrame, int frames) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        s[static_cast<size_t>(i) * 2] = Pattern(firstFrame + i, 0);
        s[static_cast<size_t>(i) * 2 + 1] = Pattern(firstFrame + i, 1);
    }
    return s;
}

std::vector<int16_t> ConstantChunk(int16_t left, int16_t right, int frames) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        s[static_cast<size_t>(i) * 2] = left;
        s[static_cast<size_t>(i) * 2 + 1] = right;
    }
    return s;
}

// Counts frames, from frame `at` of out, equal to the pattern from pattern frame `first`.
int MatchingFrames(const std::vector<int16_t>& out, long at, int64_t first, int frames) {
    int matching = 0;
    for (int i = 0; i < frames; ++i) {
        const size_t f = static_cast<size_t>(at + i);
        if (f * 2 + 1 >= out.size()) break;
        if (out[f * 2] == Pattern(first + i, 0) && out[f * 2 + 1] == Pattern(first + i, 1)) ++matching;
    }
    return matching;
}

TEST(MixerBlocks, SlotsHold882ValuesAndBlocksAre7056BytesEvery40Ms) {
    ManualMixer m;
    EXPECT_EQ(m.mixer.SlotValues(), 882u);
    m.Attach();
    m.Run(1200);
    const auto blocks = m.recorder.Blocks();
    ASSERT_GE(blocks.size(), 10u);
    for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i].samples.size() * 2, 7056u);
        EXPECT_EQ(blocks[i].timestamp, 40 * i);
    }
}

TEST(MixerBlocks, WithoutSourcesTheEncoderGetsSilence) {
    ManualMixer m;
    m.Attach();
    m.Run(2000);
    const auto blocks = m.recorder.Blocks();
    // Two seconds, less the 600 ms the ring holds back.
    ASSERT_GE(blocks.size(), 30u);
    for (const auto& b : blocks) {
        EXPECT_TRUE(std::all_of(b.samples.begin(), b.samples.end(), [](int16_t v) { return v == 0; }));
    }
}

TEST(MixerBlocks, BlocksBeforeTheTimeBaseAreDiscarded) {
    ManualMixer m;
    m.Attach(kOriginMs + 210);
    m.Run(1500);
    const auto blocks = m.recorder.Blocks();
    ASSERT_FALSE(blocks.empty());
    // The blocks starting at 0..200 ms lie before the live started; the first sent one starts at 240 ms.
    EXPECT_EQ(blocks.front().timestamp, 30u);
    for (size_t i = 1; i < blocks.size(); ++i) EXPECT_EQ(blocks[i].timestamp, blocks[i - 1].timestamp + 40);
}

TEST(MixerBlocks, NothingIsDeliveredOnceTheEngineIsDetached) {
    ManualMixer m;
    m.Attach();
    m.Run(800);
    const size_t attached = m.recorder.Count();
    ASSERT_GT(attached, 0u);
    m.mixer.AttachEngine(nullptr, 0);
    m.Run(800);
    EXPECT_EQ(m.recorder.Count(), attached);
}

TEST(MixerTimeline, AudioKeepsItsCaptureTimeAndLeavesAboutSixHundredMsLater) {
    ManualMixer m;
    ScriptedSource source(m.Clock());
    m.mixer.AddSource(&source);
    m.Attach(kOriginMs + 300);
    // A click captured 1000 ms after the clock origin, ready for the mixer 20 ms after it ends.
    const uint64_t clickAt = kClockOrigin + 1000 * kUnitsPerMs;
    source.Push(clickAt, ConstantChunk(20000, 20000, kFramesPer10Ms), clickAt + 30 * kUnitsPerMs);
    m.Run(2100);

    const auto blocks = m.recorder.Blocks();
    const auto out = Joined(blocks);
    const long click = FirstLoudFrame(out, 0.5);
    ASSERT_GE(click, 0);
    // Live time of the click: the first block's time plus its position in the joined stream.
    const double liveMs = blocks.front().timestamp + click * 1000.0 / kMixRate;
    EXPECT_NEAR(liveMs, 700.0, 0.05);
    const size_t block = static_cast<size_t>(click) / (7056 / 4);
    const double latencyMs = static_cast<double>(blocks[block].deliveredAt - clickAt) / kUnitsPerMs;
    EXPECT_GT(latencyMs, 550);
    EXPECT_LT(latencyMs, 650);
}

TEST(MixerTimeline, SmallTimestampJitterKeepsTheSourceContiguous) {
    ManualMixer m;
    ScriptedSource source(m.Clock());
    m.mixer.AddSource(&source);
    m.Attach();
    // 150 chunks of 10 ms from 50 ms on, each stamped up to 0.7 ms off its true time.
    const int jitterUnits[] = {0, 4000, -3000, 7000, -6000, 2000, -1000, 5000};
    for (int i = 0; i < 150; ++i) {
        const uint64_t ts = kClockOrigin + 50 * kUnitsPerMs + static_cast<uint64_t>(i) * 100000 + jitterUnits[i % 8];
        source.Push(ts, PatternChunk(static_cast<int64_t>(i) * kFramesPer10Ms, kFramesPer10Ms), ts + 300000);
    }
    m.Run(2500);
    const auto out = Joined(m.recorder.Blocks());
    // The first chunk lands exactly at its timestamp, every later one right behind the one before.
    const long first = 50 * kFramesPer10Ms / 10;
    EXPECT_EQ(MatchingFrames(out, first, 0, 150 * kFramesPer10Ms), 150 * kFramesPer10Ms);
    EXPECT_EQ(out[(first - 1) * 2], 0);
}

TEST(MixerTimeline, AGapLongerThanTwoChunksReanchorsTheSourceAtItsTimestamp) {
    ManualMixer m;
    ScriptedSource source(m.Clock());
    m.mixer.AddSource(&source);
    m.Attach();
    // 20 chunks from 100 ms, nothing from 300 ms to 400 ms, then 20 more chunks stamped from 400 ms.
    for (int i = 0; i < 40; ++i) {
        const int64_t ms = i < 20 ? 100 + 10 * i : 400 + 10 * (i - 20);
        const uint64_t ts = kClockOrigin + static_cast<uint64_t>(ms) * kUnitsPerMs;
        source.Push(ts, PatternChunk(static_cast<int64_t>(i) * kFramesPer10Ms, kFramesPer10Ms), ts + 200000);
    }
    m.Run(1600);
    const auto out = Joined(m.recorder.Blocks());
    const long before = 100 * kMixRate / 1000;
    const long after = 400 * kMixRate / 1000;
    EXPECT_EQ(MatchingFrames(out, before, 0, 20 * kFramesPer10Ms), 20 * kFramesPer10Ms);
    EXPECT_EQ(MatchingFrames(out, after, 20 * kFramesPer10Ms, 20 * kFramesPer10Ms), 20 * kFramesPer10Ms);
    // The gap stays silent.
    for (long f = 300 * kMixRate / 1000; f < after; ++f) ASSERT_EQ(out[static_cast<size_t>(f) * 2], 0) << f;
}

TEST(MixerTimeline, EarlyChunksWaitForTheirPlaceAndLateOnesAreDropped) {
    ManualMixer m;
    ScriptedSource source(m.Clock());
    m.mixer.AddSource(&source);
    m.Attach();
    m.Run(700);
    // Stamped before the ring's first slot: dropped without stopping the source.
    source.Push(kClockOrigin, ConstantChunk(12000, 12000, kFramesPer10Ms), 0);
    // Stamped 800 ms after the origin and ready at once: waits until its slots are laid out.
    const uint64_t early = kClockOrigin + 1500 * kUnitsPerMs;
    source.Push(early, ConstantChunk(9000, -9000, kFramesPer10Ms), 0);
    m.Run(1800);
    EXPECT_EQ(source.Released(), 2);
    const auto blocks = m.recorder.Blocks();
    const auto out = Joined(blocks);
    const long loud = FirstLoudFrame(out, 0.25);
    ASSERT_GE(loud, 0);
    EXPECT_EQ(out[static_cast<size_t>(loud) * 2], 9000);
    EXPECT_EQ(out[static_cast<size_t>(loud) * 2 + 1], -9000);
    EXPECT_EQ(loud, 1500 * kMixRate / 1000);
    EXPECT_EQ(FirstLoudFrame(out, 0.25, static_cast<size_t>(loud) + kFramesPer10Ms), -1);
}

TEST(MixerLevels, TwoFullScaleSourcesSaturateInsteadOfWrapping) {
    ManualMixer m;
    ScriptedSource a(m.Clock());
    ScriptedSource b(m.Clock());
    m.mixer.AddSource(&a);
    m.mixer.AddSource(&b);
    m.Attach();
    for (int i = 0; i < 10; ++i) {
        const uint64_t ts = kClockOrigin + static_cast<uint64_t>(100 + 10 * i) * kUnitsPerMs;
        const bool up = i % 2 == 0;
        a.Push(ts, ConstantChunk(up ? 32767 : -32768, up ? 30000 : 1000, kFramesPer10Ms), ts);
        b.Push(ts, ConstantChunk(up ? 32767 : -32768, up ? 2000 : 500, kFramesPer10Ms), ts);
    }
    m.Run(1400);
    const auto out = Joined(m.recorder.Blocks());
    const size_t start = 100 * kMixRate / 1000;
    for (int i = 0; i < 10; ++i) {
        const size_t f = start + static_cast<size_t>(i) * kFramesPer10Ms + 100;
        const bool up = i % 2 == 0;
        EXPECT_EQ(out[f * 2], up ? 32767 : -32768) << "chunk " << i;
        EXPECT_EQ(out[f * 2 + 1], up ? 32000 : 1500) << "chunk " << i;
    }
}

TEST(MixerLevels, EachSourceIsScaledByItsGain) {
    ManualMixer m;
    ScriptedSource half(m.Clock(), 0.5f);
    ScriptedSource quarter(m.Clock(), 0.25f);
    m.mixer.AddSource(&half);
    m.mixer.AddSource(&quarter);
    m.Attach();
    const uint64_t ts = kClockOrigin + 200 * kUnitsPerMs;
    half.Push(ts, ConstantChunk(10000, -10000, kFramesPer10Ms), ts);
    quarter.Push(ts, ConstantChunk(8000, 8000, kFramesPer10Ms), ts);
    m.Run(1000);
    const auto out = Joined(m.recorder.Blocks());
    const size_t f = 200 * kMixRate / 1000 + 10;
    EXPECT_EQ(out[f * 2], 5000 + 2000);
    EXPECT_EQ(out[f * 2 + 1], -5000 + 2000);
}

TEST(MixerSources, ARemovedSourceIsNoLongerAsked) {
    ManualMixer m;
    ScriptedSource source(m.Clock());
    m.mixer.AddSource(&source);
    m.Attach();
    m.Run(100);
    m.mixer.RemoveSource(&source);
    source.Push(kClockOrigin + 200 * kUnitsPerMs, ConstantChunk(20000, 20000, kFramesPer10Ms), 0);
    m.Run(1000);
    EXPECT_EQ(source.Waiting(), 1u);
    EXPECT_EQ(FirstLoudFrame(Joined(m.recorder.Blocks()), 0.1), -1);
}

TEST(MixerEncoding, TheAacEncoderReceivesTheMixAndItDecodesBackToTheTone) {
    ManualMixer m;
    ScriptedSource source(m.Clock(), 0.5f);
    m.mixer.AddSource(&source);
    AacRecorder engine;
    ASSERT_EQ(engine.openResult, 0);
    m.mixer.AttachEngine(&engine, kOriginMs);
    // Three seconds of a 1 kHz tone at 0.8 of full scale in 10 ms chunks, mixed at gain 0.5.
    for (int i = 0; i < 300; ++i) {
        const uint64_t ts = kClockOrigin + static_cast<uint64_t>(i) * 100000;
        source.Push(ts, StereoSine(1000, 0.8, kMixRate, static_cast<int64_t>(i) * kFramesPer10Ms, kFramesPer10Ms),
                    ts + 150000);
    }
    m.Run(3700);
    ASSERT_GE(engine.blocks, 70);
    ASSERT_GT(engine.capture.units.size(), 100u);

    TestDecoder decoder(AV_CODEC_ID_AAC, engine.AudioSpecificConfig());
    ASSERT_TRUE(decoder.ok());
    int64_t lastPts = -1;
    for (const auto& unit : engine.capture.units) {
        EXPECT_GT(unit.pts, lastPts);
        lastPts = unit.pts;
        ASSERT_TRUE(decoder.Decode(unit.bytes, unit.pts, unit.dts));
    }
    ASSERT_GT(decoder.frames.size(), 100u);
    // The middle of the tone, past the encoder's start-up.
    std::vector<double> left;
    for (size_t i = 20; i < decoder.frames.size() - 20; ++i) {
        const AVFrame* f = decoder.frames[i].get();
        ASSERT_EQ(f->format, AV_SAMPLE_FMT_FLTP);
        const auto* l = reinterpret_cast<const float*>(f->data[0]);
        left.insert(left.end(), l, l + f->nb_samples);
    }
    EXPECT_NEAR(ZeroCrossingFrequency(left, kMixRate), 1000.0, 2.0);
    EXPECT_NEAR(SinePeak(left), 0.4, 0.02);
}

// Below, the real mixing thread on the media clock.

TEST(MixerThread, DeliversSilenceEvery40MsWhileLiveWithoutSources) {
    CAudioMixer mixer(kMixRate);
    BlockRecorder recorder;
    mixer.AttachEngine(&recorder, static_cast<uint32_t>(GetMediaTimeMs()));
    ASSERT_TRUE(recorder.WaitForCount(5, std::chrono::seconds(10)));
    mixer.AttachEngine(nullptr, 0);
    const auto blocks = recorder.Blocks();
    for (size_t i = 1; i < blocks.size(); ++i) EXPECT_EQ(blocks[i].timestamp, blocks[i - 1].timestamp + 40);
    for (const auto& b : blocks) {
        EXPECT_EQ(b.samples.size(), 3528u);
        EXPECT_TRUE(std::all_of(b.samples.begin(), b.samples.end(), [](int16_t v) { return v == 0; }));
    }
}

// An engine whose encoder can be held in the middle of a block.
class HeldEncoder : public IAudioFeed {
public:
    int32_t State() const override { return kEngineLivePublishing; }
    bool HasAudioEncoder() const override { return true; }
    void EncodeAudio(const uint8_t*, int32_t, uint32_t) override {
        std::unique_lock<std::mutex> guard(lock);
        inside = true;
        changed.notify_all();
        changed.wait(guard, [this] { return released; });
        inside = false;
    }

    std::mutex lock;
    std::condition_variable changed;
    bool inside = false;
    bool released = false;
};

TEST(MixerThread, DetachingWaitsForTheBlockBeingEncoded) {
    CAudioMixer mixer(kMixRate);
    HeldEncoder engine;
    mixer.AttachEngine(&engine, static_cast<uint32_t>(GetMediaTimeMs()));
    {
        std::unique_lock<std::mutex> guard(engine.lock);
        ASSERT_TRUE(engine.changed.wait_for(guard, std::chrono::seconds(10), [&] { return engine.inside; }));
    }
    std::atomic<bool> detached{false};
    bool insideWhenDetached = true;
    std::thread detacher([&] {
        SetCurrentThreadName("detacher");
        mixer.AttachEngine(nullptr, 0);
        std::lock_guard<std::mutex> guard(engine.lock);
        insideWhenDetached = engine.inside;
        detached = true;
        engine.changed.notify_all();
    });
    {
        // The engine could close its encoder as soon as the detach returns: it must not return yet.
        std::unique_lock<std::mutex> guard(engine.lock);
        EXPECT_FALSE(engine.changed.wait_for(guard, std::chrono::milliseconds(200), [&] { return detached.load(); }));
        engine.released = true;
        engine.changed.notify_all();
    }
    detacher.join();
    EXPECT_TRUE(detached);
    EXPECT_FALSE(insideWhenDetached);
}

TEST(MixerThread, SourcesMayComeAndGoWhileTheThreadMixes) {
    CAudioMixer mixer(kMixRate);
    BlockRecorder recorder;
    ScriptedSource source([] { return static_cast<uint64_t>(GetMediaTime100ns()); });
    mixer.AttachEngine(&recorder, static_cast<uint32_t>(GetMediaTimeMs()));
    for (int round = 0; round < 20; ++round) {
        const uint64_t now = static_cast<uint64_t>(GetMediaTime100ns());
        source.Push(now, ConstantChunk(1000, 1000, kFramesPer10Ms));
        mixer.AddSource(&source);
        mixer.SetMicrophoneGain(0.3f);
        mixer.RemoveSource(&source);
    }
    ASSERT_TRUE(recorder.WaitForCount(3, std::chrono::seconds(10)));
    mixer.AttachEngine(nullptr, 0);
}

}  // namespace
