// The software H.264 encoder, read back through FFmpeg's H.264 decoder.
#include "media/x264_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "imaging/color_convert.h"
#include "media/bitrate_split.h"
#include "tests/media/media_test_support.h"

// libx264 0.164 keeps the strings of a parameter set it refused to open; the refused-open tests would
// otherwise report that library leak as ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx264.so\n"; }

namespace {

CodecParams VideoParams(int width, int height, int fps, int32_t bitrate = 2944000) {
    CodecParams params{};
    params.width = width;
    params.height = height;
    params.fps = fps;
    params.bitrate = bitrate;
    return params;
}

// Feeds count frames of the moving pattern stamped like the composition thread does (dts = pts), then
// closes; records which calls delivered what.
struct EncodedClip {
    CLibx264Codec codec;
    CodecParams params{};
    SinkCapture capture;
    std::vector<std::vector<uint8_t>> sources;
    std::vector<int64_t> inputPts;
    std::vector<int32_t> results;
    size_t unitsBeforeClose = 0;
    int32_t initializeResult = 0;

    EncodedClip(int width, int height, int fps, int count, uint32_t firstPts = 0) {
        params = VideoParams(width, height, fps);
        capture.Attach(&params);
        initializeResult = codec.Initialize(&params, 14, 2);
        if (initializeResult < 0) return;
        for (int i = 0; i < count; ++i) {
            sources.push_back(MovingPatternYUY2(width, height, i));
            params.inputData = sources.back().data();
            params.pts = firstPts + static_cast<uint32_t>(i * 1000 / fps);
            params.dts = params.pts;
            inputPts.push_back(params.pts);
            capture.call = i;
            results.push_back(codec.Encode(&params));
        }
        unitsBeforeClose = capture.units.size();
        capture.call = -1;
        codec.Close(&params);
    }

    std::vector<uint8_t> Sps() {
        const uint8_t *sps = nullptr, *pps = nullptr;
        int32_t spsLength = 0, ppsLength = 0;
        codec.GetParameterSets(&sps, &spsLength, &pps, &ppsLength);
        return {sps, sps + spsLength};
    }
    std::vector<uint8_t> Pps() {
        const uint8_t *sps = nullptr, *pps = nullptr;
        int32_t spsLength = 0, ppsLength = 0;
        codec.GetParameterSets(&sps, &spsLength, &pps, &ppsLength);
        return {pps, pps + ppsLength};
    }
};

// The units of one picture, in the order the encoder delivered them.
struct AccessUnit {
    int64_t pts = 0;
    int64_t dts = 0;
    int32_t frameType = 0;
    std::vector<const CapturedUnit*> units;
};

std::vector<AccessUnit> GroupByPicture(const std::vector<CapturedUnit>& units) {
    std::vector<AccessUnit> pictures;
    for (const CapturedUnit& u : units) {
        if (pictures.empty() || pictures.back().pts != u.pts || pictures.back().dts != u.dts) {
            pictures.push_back({u.pts, u.dts, u.frameType, {}});
        }
        pictures.back().units.push_back(&u);
    }
    return pictures;
}

// Decodes the clip as a player would: the parameter sets once, then every picture with its timestamps.
void DecodeClip(EncodedClip& clip, TestDecoder& decoder) {
    std::vector<uint8_t> headers = clip.Sps();
    const std::vector<uint8_t> pps = clip.Pps();
    headers.insert(headers.end(), pps.begin(), pps.end());
    bool first = true;
    for (const AccessUnit& picture : GroupByPicture(clip.capture.units)) {
        std::vector<uint8_t> data;
        if (first) data = headers;
        first = false;
        for (const CapturedUnit* u : picture.units) data.insert(data.end(), u->bytes.begin(), u->bytes.end());
        decoder.Decode(data, picture.pts, picture.dts);
    }
    decoder.Flush();
}

// The source frame as the planes libx264 was given.
struct I420Picture {
    int width, height;
    std::vector<uint8_t> y, u, v;
    I420Picture(const std::vector<uint8_t>& yuy2, int w, int h)
        : width(w),
          height(h),
          y(static_cast<size_t>(w) * h),
          u(static_cast<size_t>(w / 2) * (h / 2)),
          v(static_cast<size_t>(w / 2) * (h / 2)) {
        YUY2ToI420(yuy2.data(), w * 2, y.data(), w, u.data(), w / 2, v.data(), w / 2, w, h);
    }
    double LumaPsnr(const AVFrame* f) const {
        return PlanePsnr(y.data(), width, f->data[0], f->linesize[0], width, height);
    }
    double ChromaPsnr(const AVFrame* f, int plane) const {
        const std::vector<uint8_t>& c = plane == 1 ? u : v;
        return PlanePsnr(c.data(), width / 2, f->data[plane], f->linesize[plane], width / 2, height / 2);
    }
};

TEST(X264Stream, EveryFrameDecodesInOrderAndKeepsItsPicture) {
    const int width = 640, height = 360, fps = 25, count = 60;
    EncodedClip clip(width, height, fps, count);
    ASSERT_EQ(clip.initializeResult, 0);
    TestDecoder decoder(AV_CODEC_ID_H264);
    ASSERT_TRUE(decoder.ok());
    DecodeClip(clip, decoder);

    EXPECT_EQ(decoder.errors, 0);
    ASSERT_EQ(decoder.frames.size(), static_cast<size_t>(count));
    double lumaSum = 0, worst = 99, uSum = 0, vSum = 0;
    for (int i = 0; i < count; ++i) {
        const AVFrame* f = decoder.frames[i].get();
        ASSERT_EQ(f->width, width);
        ASSERT_EQ(f->height, height);
        ASSERT_EQ(f->format, AV_PIX_FMT_YUV420P);
        // Presentation order is the order the frames went in.
        EXPECT_EQ(f->pts, clip.inputPts[i]) << "frame " << i;
        const I420Picture source(clip.sources[i], width, height);
        const double own = source.LumaPsnr(f);
        lumaSum += own;
        worst = std::min(worst, own);
        uSum += source.ChromaPsnr(f, 1);
        vSum += source.ChromaPsnr(f, 2);
        // The picture is this frame's, not a neighbour's.
        const int neighbour = i + 1 < count ? i + 1 : i - 1;
        EXPECT_GT(own, I420Picture(clip.sources[neighbour], width, height).LumaPsnr(f) + 3) << "frame " << i;
    }
    const double luma = lumaSum / count, u = uSum / count, v = vSum / count;
    std::printf("[ psnr     ] 640x360 grainy moving pattern at crf 35: Y %.2f dB (worst frame %.2f), U %.2f, V %.2f\n",
                luma, worst, u, v);
    RecordProperty("mean_luma_psnr_db", std::to_string(luma));
    EXPECT_GT(luma, 28.0);
    EXPECT_GT(worst, 26.0);
    EXPECT_GT(u, 32.0);
    EXPECT_GT(v, 32.0);
}

TEST(X264Stream, OnlySliceUnitsReachTheSinkWithTheirStartCodes) {
    EncodedClip clip(320, 240, 25, 30);
    ASSERT_EQ(clip.initializeResult, 0);
    ASSERT_FALSE(clip.capture.units.empty());
    for (const CapturedUnit& u : clip.capture.units) {
        EXPECT_EQ(u.type, PACKET_TYPE_VIDEO);
        EXPECT_EQ(u.reserved, 0);
        EXPECT_EQ(u.size, static_cast<int32_t>(u.bytes.size()));
        EXPECT_EQ(u.mediaKind, MEDIA_VIDEO);
        EXPECT_EQ(u.durationMs, 0);
        // SEI (6), SPS (7), PPS (8) and delimiters (9) stay out of the stream.
        EXPECT_TRUE(u.NalType() == 1 || u.NalType() == 5) << "NAL type " << u.NalType();
        ASSERT_TRUE(u.prefixLength == 3 || u.prefixLength == 4);
        EXPECT_EQ(u.bytes[u.prefixLength - 1], 1);
        for (int i = 0; i < u.prefixLength - 1; ++i) EXPECT_EQ(u.bytes[i], 0);
    }
}

TEST(X264Stream, ParameterSetsBeginWithFourByteStartCodes) {
    EncodedClip clip(320, 240, 25, 1);
    ASSERT_EQ(clip.initializeResult, 0);
    const std::vector<uint8_t> sps = clip.Sps();
    const std::vector<uint8_t> pps = clip.Pps();
    ASSERT_GT(sps.size(), 5u);
    ASSERT_GT(pps.size(), 5u);
    EXPECT_LE(sps.size(), 64u);
    EXPECT_LE(pps.size(), 64u);
    const std::vector<uint8_t> startCode = {0, 0, 0, 1};
    EXPECT_TRUE(std::equal(startCode.begin(), startCode.end(), sps.begin()));
    EXPECT_TRUE(std::equal(startCode.begin(), startCode.end(), pps.begin()));
    EXPECT_EQ(sps[4] & 0x1F, 7);
    EXPECT_EQ(pps[4] & 0x1F, 8);
    EXPECT_EQ(sps[7], 51) << "level_idc";
}

TEST(X264KeyFrames, IdrAtLeastEveryThreeSecondsAndKeyTypeOnlyOnIdr) {
    for (int fps : {10, 25}) {
        SCOPED_TRACE(fps);
        const int count = fps * 3 * 2 + 20;
        EncodedClip clip(192, 128, fps, count);
        ASSERT_EQ(clip.initializeResult, 0);
        std::vector<int> idrFrames;
        for (const AccessUnit& picture : GroupByPicture(clip.capture.units)) {
            bool idr = false, other = false;
            for (const CapturedUnit* u : picture.units) {
                idr |= u->NalType() == 5;
                other |= u->NalType() == 1;
                // Every unit of a picture carries the picture's type.
                EXPECT_EQ(u->frameType, picture.frameType);
            }
            EXPECT_NE(idr, other) << "IDR and non-IDR slices mixed at pts " << picture.pts;
            EXPECT_EQ(picture.frameType == 1, idr) << "pts " << picture.pts;
            const auto index = std::find(clip.inputPts.begin(), clip.inputPts.end(), picture.pts);
            ASSERT_NE(index, clip.inputPts.end());
            if (idr) idrFrames.push_back(static_cast<int>(index - clip.inputPts.begin()));
        }
        ASSERT_FALSE(idrFrames.empty());
        EXPECT_EQ(idrFrames.front(), 0);
        std::sort(idrFrames.begin(), idrFrames.end());
        idrFrames.push_back(count);  // the stream's end closes the last interval
        for (size_t i = 1; i < idrFrames.size(); ++i) {
            EXPECT_LE(idrFrames[i] - idrFrames[i - 1], fps * 3)
                << "between frames " << idrFrames[i - 1] << " and " << idrFrames[i];
        }
    }
}

TEST(X264Close, DeliversEveryFrameHeldBackByTheLookahead) {
    const int count = 50;
    EncodedClip clip(320, 240, 25, count);
    ASSERT_EQ(clip.initializeResult, 0);
    // Held frames produce no sink call and still succeed.
    int silentCalls = 0;
    std::set<int> callsWithUnits;
    for (size_t i = 0; i < clip.unitsBeforeClose; ++i) callsWithUnits.insert(clip.capture.units[i].call);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(clip.results[i], 0);
        if (!callsWithUnits.count(i)) ++silentCalls;
    }
    EXPECT_GT(silentCalls, 0);
    std::set<int64_t> beforeClose, all;
    for (size_t i = 0; i < clip.capture.units.size(); ++i) {
        if (i < clip.unitsBeforeClose) beforeClose.insert(clip.capture.units[i].pts);
        all.insert(clip.capture.units[i].pts);
    }
    EXPECT_LT(beforeClose.size(), static_cast<size_t>(count));
    EXPECT_EQ(all, std::set<int64_t>(clip.inputPts.begin(), clip.inputPts.end()));
    // Pictures come out in decoding order, each exactly once.
    const auto pictures = GroupByPicture(clip.capture.units);
    EXPECT_EQ(pictures.size(), static_cast<size_t>(count));
}

TEST(X264Close, DeliversAllFramesOfAVeryShortLive) {
    // libx264's frame threads can answer a flush call with nothing while frames are still in flight.
    for (int count : {1, 2, 4}) {
        SCOPED_TRACE(count);
        EncodedClip clip(320, 240, 25, count);
        ASSERT_EQ(clip.initializeResult, 0);
        EXPECT_EQ(GroupByPicture(clip.capture.units).size(), static_cast<size_t>(count));
    }
}

TEST(X264Close, EncoderIsGoneAfterClose) {
    EncodedClip clip(320, 240, 25, 5);
    ASSERT_EQ(clip.initializeResult, 0);
    EXPECT_FALSE(clip.codec.IsOpen());
    const size_t units = clip.capture.units.size();
    const auto frame = MovingPatternYUY2(320, 240, 7);
    clip.params.inputData = frame.data();
    EXPECT_EQ(clip.codec.Encode(&clip.params), 0);
    EXPECT_EQ(clip.codec.Close(&clip.params), 0);
    EXPECT_EQ(clip.capture.units.size(), units);
}

TEST(X264Timestamps, FirstDtsMayBeNegativeAndIsPassedUnchanged) {
    EncodedClip clip(320, 240, 25, 40);
    ASSERT_EQ(clip.initializeResult, 0);
    const auto pictures = GroupByPicture(clip.capture.units);
    ASSERT_EQ(pictures.size(), 40u);
    // Reordering for B-frames puts the first decoding times before the first presentation time.
    EXPECT_LT(pictures.front().dts, 0);
    const std::set<int64_t> inputs(clip.inputPts.begin(), clip.inputPts.end());
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_LE(pictures[i].dts, pictures[i].pts);
        EXPECT_TRUE(inputs.count(pictures[i].pts));
        if (i > 0) {
            EXPECT_GT(pictures[i].dts, pictures[i - 1].dts);
        }
    }
    // Once the reorder delay is filled, decoding times are the input times in order.
    const int64_t last = pictures.back().dts;
    EXPECT_TRUE(inputs.count(last)) << last;
}

struct X264Free {
    void operator()(x264_t* encoder) const { x264_encoder_close(encoder); }
};

// Slice bytes that libx264 produces for the frames when driven the conventional way: timestamps counting
// frames at 1/fps, the same rate-control settings.
int64_t ReferenceSliceBytes(const std::vector<std::vector<uint8_t>>& frames, int width, int height, int fps) {
    x264_param_t param;
    x264_param_default(&param);
    param.i_log_level = X264_LOG_NONE;
    param.i_width = width;
    param.i_height = height;
    param.b_repeat_headers = 0;
    param.i_fps_num = static_cast<uint32_t>(fps);
    param.i_fps_den = 1;
    param.i_keyint_max = fps * 3;
    param.rc.i_rc_method = X264_RC_CRF;
    param.rc.f_rate_tolerance = 0.1f;
    param.rc.f_rf_constant = 35.0f;
    param.rc.f_rf_constant_max = 45.0f;
    param.i_level_idc = 51;
    param.i_csp = X264_CSP_I420;
    x264_param_apply_profile(&param, "high444");
    std::unique_ptr<x264_t, X264Free> encoder(x264_encoder_open(&param));
    if (!encoder) return -1;
    x264_picture_t in, out;
    if (x264_picture_alloc(&in, X264_CSP_I420, width, height) < 0) return -1;
    int64_t bytes = 0;
    auto count = [&bytes](const x264_nal_t* nals, int n) {
        for (int i = 0; i < n; ++i) {
            if (nals[i].i_type == 1 || nals[i].i_type == 5) bytes += nals[i].i_payload;
        }
    };
    x264_nal_t* nals = nullptr;
    int n = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        YUY2ToI420(frames[i].data(), width * 2, in.img.plane[0], in.img.i_stride[0], in.img.plane[1],
                   in.img.i_stride[1], in.img.plane[2], in.img.i_stride[2], width, height);
        in.i_pts = static_cast<int64_t>(i);
        if (x264_encoder_encode(encoder.get(), &nals, &n, &in, &out) >= 0) count(nals, n);
    }
    while (x264_encoder_delayed_frames(encoder.get()) > 0) {
        if (x264_encoder_encode(encoder.get(), &nals, &n, nullptr, &out) < 0) break;
        count(nals, n);
    }
    x264_picture_clean(&in);
    return bytes;
}

TEST(X264RateControl, MillisecondStampsSpendTheBitsOfTheRealFrameRate) {
    const int width = 640, height = 360, fps = 25, count = 50;
    EncodedClip clip(width, height, fps, count);
    ASSERT_EQ(clip.initializeResult, 0);
    int64_t ours = 0;
    for (const CapturedUnit& u : clip.capture.units) ours += u.size;
    const int64_t reference = ReferenceSliceBytes(clip.sources, width, height, fps);
    ASSERT_GT(reference, 0);
    const double seconds = static_cast<double>(count) / fps;
    std::printf("[ bitrate  ] 640x360 at crf 35: %.0f kbit/s, libx264 with frame-count stamps %.0f kbit/s\n",
                ours * 8 / 1000.0 / seconds, reference * 8 / 1000.0 / seconds);
    EXPECT_NEAR(static_cast<double>(ours), static_cast<double>(reference), reference * 0.05);
}

TEST(X264Open, DefaultBitRateSplitOpensLibx264With2944And3532) {
    const LiveBitrates split = SplitLiveBitrate(3072);
    EXPECT_EQ(split.audioBitrate, 128000u);
    EXPECT_EQ(split.videoBitrate, 2944000);

    CLibx264Codec codec;
    CodecParams params = VideoParams(320, 240, 25, split.videoBitrate);
    ASSERT_EQ(codec.Initialize(&params, 14, 2), 0);
    const x264_param_t& opened = codec.OpenedParams();
    EXPECT_EQ(opened.rc.i_bitrate, 2944);
    EXPECT_EQ(opened.rc.i_vbv_max_bitrate, 3532);
    EXPECT_EQ(opened.i_keyint_max, 75);
    EXPECT_EQ(opened.rc.i_rc_method, X264_RC_CRF);
    EXPECT_FLOAT_EQ(opened.rc.f_rf_constant, 35.0f);
    EXPECT_FLOAT_EQ(opened.rc.f_rf_constant_max, 45.0f);
    EXPECT_EQ(opened.i_level_idc, 51);
    EXPECT_EQ(opened.b_repeat_headers, 0);
    codec.Close(&params);
}

TEST(LiveBitrateSplit, TenthToSoundCappedAt128Kbits) {
    EXPECT_EQ(SplitLiveBitrate(500).audioBitrate, 50000u);
    EXPECT_EQ(SplitLiveBitrate(500).videoBitrate, 450000);
    EXPECT_EQ(SplitLiveBitrate(5000).audioBitrate, 128000u);
    EXPECT_EQ(SplitLiveBitrate(5000).videoBitrate, 4872000);
    EXPECT_EQ(SplitLiveBitrate(256).audioBitrate, 25000u);
    EXPECT_EQ(SplitLiveBitrate(256).videoBitrate, 231000);
    // A damaged setting neither wraps around nor overflows.
    EXPECT_EQ(SplitLiveBitrate(-5).audioBitrate, 0u);
    EXPECT_EQ(SplitLiveBitrate(-5).videoBitrate, 0);
    EXPECT_EQ(SplitLiveBitrate(2147483647).audioBitrate, 128000u);
    EXPECT_EQ(SplitLiveBitrate(2147483647).videoBitrate, 2147483647);
}

TEST(X264Open, RefusedParametersLeaveAHarmlessEncoder) {
    // No size at all, an odd width libx264 cannot take as 4:2:0, and no frame rate.
    for (CodecParams params : {VideoParams(0, 0, 25), VideoParams(321, 240, 25), VideoParams(320, 240, 0)}) {
        SCOPED_TRACE(params.width);
        CLibx264Codec codec;
        SinkCapture capture;
        capture.Attach(&params);
        EXPECT_LT(codec.Initialize(&params, 14, 2), 0);
        EXPECT_LT(codec.Initialize(&params, 2, 2), 0);
        EXPECT_FALSE(codec.IsOpen());
        const uint8_t *sps = nullptr, *pps = nullptr;
        int32_t spsLength = -1, ppsLength = -1;
        codec.GetParameterSets(&sps, &spsLength, &pps, &ppsLength);
        EXPECT_EQ(spsLength, 0);
        EXPECT_EQ(ppsLength, 0);
        std::vector<uint8_t> frame(640 * 480 * 2, 128);
        params.inputData = frame.data();
        EXPECT_EQ(codec.Encode(&params), 0);
        EXPECT_EQ(codec.Close(&params), 0);
        EXPECT_TRUE(capture.units.empty());
    }
}

TEST(ParameterSetStore, RejectsUnitsLongerThanTheStore) {
    std::vector<uint8_t> unit(65, 0x42);
    uint8_t store[64] = {};
    int32_t length = 7;
    EXPECT_FALSE(CopyParameterSet(unit.data(), 65, store, 64, &length));
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(CopyParameterSet(unit.data(), 64, store, 64, &length));
    EXPECT_EQ(length, 64);
    EXPECT_EQ(store[63], 0x42);
}

}  // namespace
