// The hardware H.264 encoder driven through a runtime that behaves like the SDK's (tests/media/fake_mfx_session),
// one that encodes with libx264 so the output is decoded by FFmpeg, and the real dispatcher of this machine.
#include "media/intel_h264_codec.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "imaging/color_convert.h"
#include "media/codec_factory.h"
#include "tests/media/fake_mfx_session.h"
#include "tests/media/media_test_support.h"

namespace {

constexpr int kWidth = 200;  // not a multiple of 16, so the surface pitch differs from the width
constexpr int kHeight = 120;
constexpr int kFps = 25;

// What a marker slice from the fake runtime says about its frame.
struct Marker {
    int index;
    uint8_t y0, y1, u, v;
};

Marker ReadMarker(const CapturedUnit& unit) {
    const std::vector<uint8_t>& b = unit.bytes;
    if (b.size() < 10) return {-1, 0, 0, 0, 0};
    return {((b[4] & 0x7F) << 7) | (b[5] & 0x7F), b[6], b[7], b[8], b[9]};
}

// The first two luma and the first chroma pair of a source frame, as an NV12 surface holds them.
Marker SourceMarker(const std::vector<uint8_t>& yuy2, int index, int width, int height) {
    std::vector<uint8_t> y(static_cast<size_t>(width) * height);
    std::vector<uint8_t> uv(static_cast<size_t>(width) * height / 2);
    YUY2ToNV12(yuy2.data(), width * 2, y.data(), width, uv.data(), width, width, height);
    return {index, y[0], y[1], uv[0], uv[1]};
}

int RefIdc(const CapturedUnit& unit) { return (unit.bytes[unit.prefixLength] >> 5) & 3; }

// An encoder on the fake runtime, fed the moving pattern stamped like the composition thread does.
struct FakeClip {
    FakeVideoRuntime runtime;
    std::unique_ptr<CIntel264Codec> codec;
    CodecParams params{};
    SinkCapture capture;
    std::vector<std::vector<uint8_t>> sources;
    std::vector<uint32_t> pts;
    std::vector<int32_t> results;

    explicit FakeClip(int width = kWidth, int height = kHeight) {
        params.bitrate = 2944000;
        params.width = width;
        params.height = height;
        params.fps = kFps;
        capture.Attach(&params);
        codec = std::make_unique<CIntel264Codec>(std::make_unique<FakeVideoSession>(&runtime));
    }

    int32_t Initialize(int32_t method = MFX_RATECONTROL_QVBR, int32_t quality = 2) {
        return codec->Initialize(&params, method, quality);
    }

    int32_t Feed() { return FeedAt(3000 + static_cast<uint32_t>(sources.size() * 1000 / kFps)); }

    int32_t FeedAt(uint32_t time) {
        const int i = static_cast<int>(sources.size());
        sources.push_back(MovingPatternYUY2(params.width, params.height, i));
        params.inputData = sources.back().data();
        params.pts = time;
        params.dts = params.pts;
        pts.push_back(params.pts);
        capture.call = i;
        results.push_back(codec->Encode(&params));
        return results.back();
    }

    void Feed(int count) {
        for (int i = 0; i < count; ++i) Feed();
    }

    int32_t Close() {
        capture.call = -1;
        return codec->Close(&params);
    }

    Marker Expected(int sourceIndex, int markerIndex) const {
        return SourceMarker(sources[sourceIndex], markerIndex, params.width, params.height);
    }
};

void ExpectMarker(const CapturedUnit& unit, const Marker& expected) {
    const Marker m = ReadMarker(unit);
    EXPECT_EQ(m.index, expected.index);
    EXPECT_EQ(m.y0, expected.y0) << "frame " << expected.index;
    EXPECT_EQ(m.y1, expected.y1) << "frame " << expected.index;
    EXPECT_EQ(m.u, expected.u) << "frame " << expected.index;
    EXPECT_EQ(m.v, expected.v) << "frame " << expected.index;
}

}  // namespace

TEST(Intel264Open, QvbrAtBestQualityReachesTheRuntimeAndTheParameterSetsComeBack) {
    FakeClip clip;
    ASSERT_EQ(clip.Initialize(MFX_RATECONTROL_QVBR, 2), 0);
    EXPECT_TRUE(clip.codec->IsOpen());
    EXPECT_EQ(clip.codec->Name(), "Intel264");
    EXPECT_EQ(clip.runtime.initCalls, std::vector<mfxIMPL>{MFX_IMPL_HARDWARE_ANY});
    EXPECT_EQ(clip.runtime.queried.mfx.RateControlMethod, MFX_RATECONTROL_QVBR);
    EXPECT_EQ(clip.runtime.queried.mfx.TargetUsage, 4);
    EXPECT_EQ(clip.runtime.queriedOption3.QVBRQuality, 1);
    EXPECT_EQ(clip.runtime.initialized.mfx.FrameInfo.CropW, kWidth);
    EXPECT_EQ(clip.runtime.initialized.IOPattern, MFX_IOPATTERN_IN_SYSTEM_MEMORY);
    EXPECT_EQ(clip.codec->SurfaceCount(), 4u);
    EXPECT_EQ(clip.codec->SlotCount(), 2u);

    const uint8_t *sps = nullptr, *pps = nullptr;
    int32_t spsLength = 0, ppsLength = 0;
    clip.codec->GetParameterSets(&sps, &spsLength, &pps, &ppsLength);
    EXPECT_EQ(std::vector<uint8_t>(sps, sps + spsLength), clip.runtime.sps);
    EXPECT_EQ(std::vector<uint8_t>(pps, pps + ppsLength), clip.runtime.pps);
}

TEST(Intel264Open, PlainHardwareIsTriedWhenAnyAdapterIsRefused) {
    FakeClip clip;
    clip.runtime.hardwareAnyInit = MFX_ERR_UNSUPPORTED;
    EXPECT_EQ(clip.Initialize(), 0);
    EXPECT_EQ(clip.runtime.initCalls, (std::vector<mfxIMPL>{MFX_IMPL_HARDWARE_ANY, MFX_IMPL_HARDWARE}));
}

TEST(Intel264Open, WarningsFromQueryAndInitAreNotRefusals) {
    FakeClip clip;
    clip.runtime.queryStatus = MFX_WRN_INCOMPATIBLE_VIDEO_PARAM;
    clip.runtime.initStatus = MFX_WRN_PARTIAL_ACCELERATION;
    ASSERT_EQ(clip.Initialize(), 0);
    // The runtime's correction is what the encoder was initialised with.
    EXPECT_EQ(clip.runtime.initialized.mfx.CodecProfile, MFX_PROFILE_AVC_HIGH);
    clip.Feed(3);
    clip.Close();
    EXPECT_EQ(clip.capture.units.size(), 3u);
}

TEST(Intel264Open, OpenIsVariableBitRateWithTwoReferenceFrames) {
    FakeClip clip;
    ASSERT_EQ(clip.codec->Open(&clip.params), 0);
    EXPECT_EQ(clip.runtime.queried.mfx.RateControlMethod, MFX_RATECONTROL_VBR);
    EXPECT_EQ(clip.runtime.queried.mfx.TargetUsage, 4);
    EXPECT_EQ(clip.runtime.queried.mfx.MaxKbps, 2 * clip.runtime.queried.mfx.TargetKbps);
    EXPECT_EQ(clip.runtime.queried.mfx.NumRefFrame, 2);
}

TEST(Intel264Refusal, NoHardwareGivesMinusOneAndAnEncoderThatDoesNothing) {
    FakeClip clip;
    clip.runtime.hardwareAnyInit = MFX_ERR_UNSUPPORTED;
    clip.runtime.hardwareInit = MFX_ERR_UNSUPPORTED;
    EXPECT_EQ(clip.Initialize(MFX_RATECONTROL_QVBR, 2), -1);
    EXPECT_EQ(clip.Initialize(MFX_RATECONTROL_VBR, 2), -1);
    EXPECT_FALSE(clip.codec->IsOpen());
    EXPECT_EQ(clip.Feed(), 0);
    EXPECT_EQ(clip.Close(), 0);
    EXPECT_EQ(clip.runtime.encodeCalls, 0);
    EXPECT_TRUE(clip.capture.units.empty());
    const uint8_t *sps = nullptr, *pps = nullptr;
    int32_t spsLength = -1, ppsLength = -1;
    clip.codec->GetParameterSets(&sps, &spsLength, &pps, &ppsLength);
    EXPECT_EQ(spsLength, 0);
    EXPECT_EQ(ppsLength, 0);
}

TEST(Intel264Refusal, RefusedQvbrFallsBackToVariableBitRateAsTheEngineAsks) {
    FakeClip clip;
    clip.runtime.refuseMethod = MFX_RATECONTROL_QVBR;
    EXPECT_EQ(clip.Initialize(MFX_RATECONTROL_QVBR, 2), MFX_ERR_INVALID_VIDEO_PARAM);
    EXPECT_EQ(clip.runtime.sessionsOpen, 0);
    EXPECT_EQ(clip.runtime.encodersOpen, 0);
    EXPECT_EQ(clip.Feed(), 0);
    EXPECT_EQ(clip.runtime.encodeCalls, 0);

    ASSERT_EQ(clip.Initialize(MFX_RATECONTROL_VBR, 2), 0);
    EXPECT_EQ(clip.runtime.sessionsOpen, 1);
    EXPECT_EQ(clip.runtime.queried.mfx.TargetUsage, 1);
    clip.Feed(4);
    clip.Close();
    ASSERT_EQ(clip.capture.units.size(), 4u);
    // The frame fed while refused never reached the runtime; the first delivered is the one after it.
    ExpectMarker(clip.capture.units[0], clip.Expected(1, 0));
}

TEST(Intel264Refusal, EachRefusingStepReturnsItsStatusAndLeavesNothingOpen) {
    struct Case {
        mfxStatus FakeVideoRuntime::*field;
        mfxStatus status;
    };
    for (const Case c : {Case{&FakeVideoRuntime::queryStatus, MFX_ERR_INVALID_VIDEO_PARAM},
                         Case{&FakeVideoRuntime::querySurfStatus, MFX_ERR_UNSUPPORTED},
                         Case{&FakeVideoRuntime::initStatus, MFX_ERR_DEVICE_FAILED},
                         Case{&FakeVideoRuntime::getParamStatus, MFX_ERR_NOT_INITIALIZED}}) {
        FakeClip clip;
        clip.runtime.*c.field = c.status;
        EXPECT_EQ(clip.Initialize(), c.status);
        EXPECT_FALSE(clip.codec->IsOpen());
        EXPECT_EQ(clip.runtime.sessionsOpen, 0);
        EXPECT_EQ(clip.runtime.encodersOpen, 0);
        EXPECT_EQ(clip.runtime.sessionClosedUnderEncoder, 0);
        EXPECT_EQ(clip.Feed(), 0);
        EXPECT_EQ(clip.Close(), 0);
        EXPECT_TRUE(clip.capture.units.empty());
    }
}

TEST(Intel264Refusal, ParameterSetsTooLargeForTheirStoreRefuseTheOpen) {
    FakeClip clip;
    clip.runtime.sps.assign(80, 0x11);
    EXPECT_LT(clip.Initialize(), 0);
    EXPECT_FALSE(clip.codec->IsOpen());
}

TEST(Intel264Pipeline, FramesAreCollectedOnlyWhenASlotIsNeeded) {
    FakeClip clip;
    clip.runtime.asyncDepth = 2;
    clip.runtime.numFrameSuggested = 8;
    ASSERT_EQ(clip.Initialize(), 0);
    clip.Feed(6);
    ASSERT_EQ(clip.capture.units.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        // Frame i waits in its slot until frame i + 2 needs the slot.
        EXPECT_EQ(clip.capture.units[i].call, i + 2);
        ExpectMarker(clip.capture.units[i], clip.Expected(i, i));
    }
    EXPECT_EQ(clip.Close(), 0);
    ASSERT_EQ(clip.capture.units.size(), 6u);
    for (int i = 4; i < 6; ++i) {
        EXPECT_EQ(clip.capture.units[i].call, -1);
        ExpectMarker(clip.capture.units[i], clip.Expected(i, i));
    }
    EXPECT_TRUE(std::all_of(clip.results.begin(), clip.results.end(), [](int32_t r) { return r == 0; }));
}

TEST(Intel264Pipeline, SurfaceShortageCollectsTheOldestFrameAndKeepsTheOrder) {
    // Fewer surfaces than slots: frames are collected for their surfaces while slots are still free, and the
    // slots must still be given out and collected in the order the frames went in.
    FakeClip clip;
    clip.runtime.numFrameSuggested = 2;
    clip.runtime.asyncDepth = 3;
    ASSERT_EQ(clip.Initialize(), 0);
    clip.Feed(9);
    EXPECT_EQ(clip.Close(), 0);
    ASSERT_EQ(clip.capture.units.size(), 9u);
    for (int i = 0; i < 9; ++i) {
        ExpectMarker(clip.capture.units[i], clip.Expected(i, i));
        EXPECT_EQ(clip.capture.units[i].pts, clip.pts[i]);
        if (i < 7) {
            EXPECT_EQ(clip.capture.units[i].call, i + 2);
        }
    }
    EXPECT_TRUE(std::all_of(clip.results.begin(), clip.results.end(), [](int32_t r) { return r == 0; }));
}

TEST(Intel264Pipeline, BusyDeviceIsAskedAgainUntilItTakesTheFrame) {
    FakeClip clip;
    clip.runtime.busyBefore = {{1, 3}, {4, 1}};
    ASSERT_EQ(clip.Initialize(), 0);
    clip.Feed(6);
    clip.Close();
    EXPECT_EQ(clip.runtime.busyAnswers, 4);
    EXPECT_TRUE(std::all_of(clip.results.begin(), clip.results.end(), [](int32_t r) { return r == 0; }));
    ASSERT_EQ(clip.capture.units.size(), 6u);
    for (int i = 0; i < 6; ++i) ExpectMarker(clip.capture.units[i], clip.Expected(i, i));
}

TEST(Intel264Pipeline, DeviceThatStaysBusyCostsOneFrameNotTheLive) {
    FakeClip clip;
    clip.codec->SetBusyRetryLimit(5);
    clip.runtime.busyBefore = {{2, 6}};
    ASSERT_EQ(clip.Initialize(), 0);
    clip.Feed(6);
    clip.Close();
    EXPECT_LT(clip.results[2], 0);
    for (int i : {0, 1, 3, 4, 5}) EXPECT_EQ(clip.results[i], 0) << "frame " << i;
    ASSERT_EQ(clip.capture.units.size(), 5u);
    // Source frame 2 is gone; the runtime's third frame is source frame 3, with its own picture and time.
    const int sources[] = {0, 1, 3, 4, 5};
    for (int k = 0; k < 5; ++k) {
        ExpectMarker(clip.capture.units[k], clip.Expected(sources[k], k));
        EXPECT_EQ(clip.capture.units[k].pts, clip.pts[sources[k]]);
        if (k > 0) {
            EXPECT_GT(clip.capture.units[k].dts, clip.capture.units[k - 1].dts);
        }
    }
}

TEST(Intel264Pipeline, EncoderHoldingEverySurfaceDropsTheFrameInsteadOfWaiting) {
    FakeClip clip;
    clip.runtime.numFrameSuggested = 2;
    clip.runtime.plainDelay = 3;
    ASSERT_EQ(clip.Initialize(), 0);
    EXPECT_EQ(clip.Feed(), 0);
    EXPECT_EQ(clip.Feed(), 0);
    EXPECT_EQ(clip.Feed(), MFX_ERR_MORE_SURFACE);
    EXPECT_TRUE(clip.capture.units.empty());
    EXPECT_EQ(clip.Close(), 0);
    ASSERT_EQ(clip.capture.units.size(), 2u);
    ExpectMarker(clip.capture.units[0], clip.Expected(0, 0));
    ExpectMarker(clip.capture.units[1], clip.Expected(1, 1));
}

TEST(Intel264DecodingTimes, UnevenFirstFramesStillGiveRisingDecodingTimes) {
    // The first frame is collected with two frames in, the second with three: the borrowed offset grows from
    // 80 ms to the 200 ms the first three frames span, which would put the second frame before the first.
    FakeClip clip;
    ASSERT_EQ(clip.Initialize(), 0);
    for (uint32_t t : {3000u, 3040u, 3200u, 3240u, 3280u, 3320u}) clip.FeedAt(t);
    clip.Close();
    ASSERT_EQ(clip.capture.units.size(), 6u);
    const int64_t expected[] = {2920, 2921, 3000, 3040, 3200, 3240};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(clip.capture.units[k].dts, expected[k]) << "frame " << k;
        EXPECT_LE(clip.capture.units[k].dts, clip.capture.units[k].pts) << "frame " << k;
    }
}

TEST(Intel264Close, DeliversFramesInSlotsAndFramesHeldForReorderingWithTheirTimes) {
    FakeClip clip;
    clip.runtime.bFrames = true;  // I B B P B B P ..., output two frames behind
    clip.runtime.asyncDepth = 3;
    clip.runtime.numFrameSuggested = 6;
    ASSERT_EQ(clip.Initialize(), 0);
    const int count = 11;  // the last frame is a B with nothing after it
    clip.Feed(count);
    const size_t beforeClose = clip.capture.units.size();
    EXPECT_LT(beforeClose, static_cast<size_t>(count));
    EXPECT_EQ(clip.Close(), 0);
    ASSERT_EQ(clip.capture.units.size(), static_cast<size_t>(count));

    const std::vector<int> decodeOrder = {0, 3, 1, 2, 6, 4, 5, 9, 7, 8, 10};
    for (int k = 0; k < count; ++k) {
        const CapturedUnit& u = clip.capture.units[k];
        const int source = decodeOrder[k];
        ExpectMarker(u, clip.Expected(source, source));
        EXPECT_EQ(u.pts, clip.pts[source]) << "unit " << k;
        // Two frames behind at 40 ms a frame: the first two borrow 80 ms, the rest take the input two before.
        EXPECT_EQ(u.dts, 3000 + 40 * k - 80) << "unit " << k;
        EXPECT_LE(u.dts, u.pts) << "unit " << k;
        const bool isB = source % 3 != 0 && source != 10;
        if (source == 0) {
            EXPECT_EQ(u.frameType, 1);
            EXPECT_EQ(u.NalType(), 5);
            EXPECT_EQ(RefIdc(u), 3);
        } else if (isB) {
            EXPECT_EQ(u.frameType, MFX_FRAMETYPE_B);
            EXPECT_EQ(RefIdc(u), 0) << "unit " << k;
        } else {
            EXPECT_EQ(u.frameType, MFX_FRAMETYPE_P);
            EXPECT_EQ(RefIdc(u), 2) << "unit " << k;
        }
    }

    // Closed: nothing reaches the runtime any more.
    const int calls = clip.runtime.encodeCalls;
    EXPECT_EQ(clip.Feed(), 0);
    EXPECT_EQ(clip.Close(), 0);
    EXPECT_EQ(clip.runtime.encodeCalls, calls);
    EXPECT_EQ(clip.capture.units.size(), static_cast<size_t>(count));
    EXPECT_EQ(clip.runtime.encodersOpen, 0);
}

TEST(Intel264Close, DestroyingAnOpenEncoderClosesItBeforeItsSession) {
    FakeVideoRuntime runtime;
    {
        CIntel264Codec codec(std::make_unique<FakeVideoSession>(&runtime));
        CodecParams params{};
        params.width = 64;
        params.height = 48;
        params.fps = 25;
        ASSERT_EQ(codec.Initialize(&params, MFX_RATECONTROL_QVBR, 2), 0);
    }
    EXPECT_EQ(runtime.encodersOpen, 0);
    EXPECT_EQ(runtime.sessionsOpen, 0);
    EXPECT_EQ(runtime.sessionClosedUnderEncoder, 0);
}

TEST(Intel264NalUnits, OnlySlicesGoOutEachWithItsThreeByteStartCode) {
    FakeClip clip;
    clip.runtime.twoSlices = true;
    ASSERT_EQ(clip.Initialize(), 0);
    clip.Feed(4);
    clip.Close();
    ASSERT_EQ(clip.capture.units.size(), 8u);
    for (const CapturedUnit& u : clip.capture.units) {
        EXPECT_EQ(u.type, PACKET_TYPE_VIDEO);
        EXPECT_EQ(u.reserved, 0);
        EXPECT_EQ(u.mediaKind, MEDIA_VIDEO);
        EXPECT_EQ(u.prefixLength, 3);
        EXPECT_EQ(u.size, static_cast<int32_t>(u.bytes.size()));
        EXPECT_EQ(u.bytes[0], 0);
        EXPECT_EQ(u.bytes[1], 0);
        EXPECT_EQ(u.bytes[2], 1);
        EXPECT_TRUE(u.NalType() == 1 || u.NalType() == 5);
        // The zero that opens the next four-byte start code is not part of the slice.
        EXPECT_NE(u.bytes.back(), 0);
    }
    // The second slice of the frame: header and payload only.
    EXPECT_EQ(clip.capture.units[1].bytes, (std::vector<uint8_t>{0, 0, 1, 0x65, 0xBB, 0x80}));
    EXPECT_EQ(clip.capture.units[3].bytes, (std::vector<uint8_t>{0, 0, 1, 0x41, 0xBB, 0x80}));
}

TEST(Intel264Sync, FailedFrameIsDroppedAndLaterFramesKeepTheirTimes) {
    FakeClip clip;
    clip.runtime.syncResult = {{2, MFX_ERR_DEVICE_FAILED}};
    ASSERT_EQ(clip.Initialize(), 0);
    clip.Feed(7);
    EXPECT_EQ(clip.Close(), 0);
    // Frame 2 is collected when frame 4 needs its slot; that Encode reports the failure, and frame 4 still goes
    // into the freed slot.
    EXPECT_EQ(clip.results[4], MFX_ERR_DEVICE_FAILED);
    for (int i : {0, 1, 2, 3, 5, 6}) EXPECT_EQ(clip.results[i], 0) << "frame " << i;
    std::vector<int> delivered;
    for (const CapturedUnit& u : clip.capture.units) delivered.push_back(ReadMarker(u).index);
    EXPECT_EQ(delivered, (std::vector<int>{0, 1, 3, 4, 5, 6}));
    for (const CapturedUnit& u : clip.capture.units) {
        const int k = ReadMarker(u).index;
        ExpectMarker(u, clip.Expected(k, k));
        EXPECT_EQ(u.pts, clip.pts[k]);
        // Each frame keeps the decoding time it would have had: the lost one still counts.
        EXPECT_EQ(u.dts, k < 2 ? clip.pts[k] - 80 : clip.pts[k - 2]);
    }
}

TEST(Intel264Sync, FrameStillRunningAfterTheWaitStaysInItsSlot) {
    FakeClip clip;
    clip.runtime.asyncDepth = 1;
    clip.runtime.syncResult = {{0, MFX_WRN_IN_EXECUTION}};
    ASSERT_EQ(clip.Initialize(), 0);
    clip.Feed(3);
    EXPECT_EQ(clip.Close(), 0);
    EXPECT_EQ(clip.results[0], 0);
    EXPECT_EQ(clip.results[1], MFX_ERR_GPU_HANG);
    EXPECT_EQ(clip.results[2], 0);
    ASSERT_EQ(clip.capture.units.size(), 2u);
    ExpectMarker(clip.capture.units[0], clip.Expected(0, 0));
    ExpectMarker(clip.capture.units[1], clip.Expected(2, 1));
}

TEST(Intel264Stream, RuntimeOutputDecodesToTheSourcePictures) {
    FakeClip clip(328, 184);
    clip.runtime.realH264 = true;
    clip.runtime.numFrameSuggested = 3;
    clip.runtime.asyncDepth = 2;
    ASSERT_EQ(clip.Initialize(), 0);
    const int count = 20;
    clip.Feed(count);
    ASSERT_EQ(clip.Close(), 0);
    ASSERT_EQ(clip.capture.units.size(), static_cast<size_t>(count));

    const uint8_t *sps = nullptr, *pps = nullptr;
    int32_t spsLength = 0, ppsLength = 0;
    clip.codec->GetParameterSets(&sps, &spsLength, &pps, &ppsLength);
    TestDecoder decoder(AV_CODEC_ID_H264);
    ASSERT_TRUE(decoder.ok());
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> data;
        if (i == 0) {
            data.assign(sps, sps + spsLength);
            data.insert(data.end(), pps, pps + ppsLength);
        }
        const CapturedUnit& u = clip.capture.units[i];
        data.insert(data.end(), u.bytes.begin(), u.bytes.end());
        decoder.Decode(data, u.pts, u.dts);
    }
    decoder.Flush();
    EXPECT_EQ(decoder.errors, 0);
    ASSERT_EQ(decoder.frames.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const AVFrame* f = decoder.frames[i].get();
        ASSERT_EQ(f->width, 328);
        ASSERT_EQ(f->height, 184);
        std::vector<uint8_t> y(328 * 184);
        for (size_t p = 0; p < y.size(); ++p) y[p] = clip.sources[i][p * 2];
        const double own = PlanePsnr(y.data(), 328, f->data[0], f->linesize[0], 328, 184);
        EXPECT_GT(own, 35.0) << "frame " << i;
        const int neighbour = i + 1 < count ? i + 1 : i - 1;
        for (size_t p = 0; p < y.size(); ++p) y[p] = clip.sources[neighbour][p * 2];
        EXPECT_GT(own, PlanePsnr(y.data(), 328, f->data[0], f->linesize[0], 328, 184) + 3) << "frame " << i;
    }
}

TEST(Intel264Dispatcher, ThisMachineRefusesAndTheEncoderStaysInert) {
    if (HardwareEncodingAvailable()) GTEST_SKIP() << "this machine has a hardware encoder";
    CIntel264Codec codec;
    CodecParams params{};
    params.bitrate = 2944000;
    params.width = 320;
    params.height = 240;
    params.fps = 25;
    SinkCapture capture;
    capture.Attach(&params);
    // The engine's two attempts.
    EXPECT_EQ(codec.Initialize(&params, MFX_RATECONTROL_QVBR, 2), -1);
    EXPECT_EQ(codec.Initialize(&params, MFX_RATECONTROL_VBR, 2), -1);
    const std::vector<uint8_t> frame = MovingPatternYUY2(320, 240, 0);
    params.inputData = frame.data();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(codec.Encode(&params), 0);
    EXPECT_EQ(codec.Close(&params), 0);
    EXPECT_TRUE(capture.units.empty());
    const uint8_t *sps = nullptr, *pps = nullptr;
    int32_t spsLength = -1, ppsLength = -1;
    codec.GetParameterSets(&sps, &spsLength, &pps, &ppsLength);
    EXPECT_EQ(spsLength + ppsLength, 0);
}

TEST(CodecFactory, SettingChoosesHardwareOrSoftwareEncoders) {
    EXPECT_EQ(CreateVideoCodec(true)->Name(), "Intel264");
    EXPECT_EQ(CreateAudioCodec(true)->Name(), "IntelAAC");
    EXPECT_NE(dynamic_cast<CIntel264Codec*>(CreateVideoCodec(true).get()), nullptr);
    EXPECT_EQ(CreateVideoCodec(false)->Name(), "");
    EXPECT_EQ(CreateAudioCodec(false)->Name(), "");
    EXPECT_EQ(dynamic_cast<CIntel264Codec*>(CreateVideoCodec(false).get()), nullptr);
    EXPECT_EQ(CreateCodec(MEDIA_VIDEO, true)->Name(), "Intel264");
    EXPECT_EQ(CreateCodec(MEDIA_AUDIO, true)->Name(), "IntelAAC");
    EXPECT_EQ(CreateCodec(0, true), nullptr);
}
