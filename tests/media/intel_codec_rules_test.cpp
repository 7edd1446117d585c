// The hardware encoders' rules that need no hardware: parameters by rate-control method, decoding times, the
// NAL split and nal_ref_idc, the AudioSpecificConfig (read back by FFmpeg's AAC decoder) and ADTS headers.
#include "media/intel_codec_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tests/media/media_test_support.h"

namespace {

CodecParams Block(int32_t bitrate = 2944000, int width = 1280, int height = 720, int fps = 25) {
    CodecParams block{};
    block.bitrate = bitrate;
    block.width = width;
    block.height = height;
    block.fps = fps;
    return block;
}

struct Filled {
    mfxVideoParam params;
    Intel264ExtBuffers ext;
    Filled(int32_t method, int32_t quality, const CodecParams& block = Block()) {
        FillIntel264Params(block, method, quality, 0, &params, &ext);
    }
};

// Raw AAC LC frames of a tone from FFmpeg's own encoder.
std::vector<std::vector<uint8_t>> RawAacFrames(int rate, int channels, int count) {
    std::vector<std::vector<uint8_t>> frames;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (codec == nullptr) return frames;
    CodecContextPtr context(avcodec_alloc_context3(codec));
    context->sample_rate = rate;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = 32000 * channels;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return frames;
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    for (int n = 0; n <= count; ++n) {
        const bool last = n == count;
        if (!last) {
            frame->nb_samples = context->frame_size;
            frame->format = context->sample_fmt;
            av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
            if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
            for (int c = 0; c < channels; ++c) {
                auto* samples = reinterpret_cast<float*>(frame->data[c]);
                for (int i = 0; i < frame->nb_samples; ++i) {
                    samples[i] =
                        0.3f * static_cast<float>(std::sin(6.2831853 * 440 * (n * frame->nb_samples + i) / rate));
                }
            }
            frame->pts = static_cast<int64_t>(n) * frame->nb_samples;
        }
        if (avcodec_send_frame(context.get(), last ? nullptr : frame.get()) < 0) return {};
        av_frame_unref(frame.get());
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            frames.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet.get());
        }
    }
    return frames;
}

std::vector<std::vector<uint8_t>> Split(std::vector<uint8_t> data) {
    std::vector<std::vector<uint8_t>> units;
    ForEachNalUnit(data.data(), data.size(),
                   [&](uint8_t* unit, size_t size) { units.emplace_back(unit, unit + size); });
    return units;
}

}  // namespace

TEST(IntelRateControl, QvbrAtBestQualityAsksForQvbrQualityOneAtTargetUsageFour) {
    const Filled f(MFX_RATECONTROL_QVBR, 2);
    EXPECT_EQ(f.params.mfx.RateControlMethod, MFX_RATECONTROL_QVBR);
    EXPECT_EQ(f.params.mfx.TargetUsage, 4);
    EXPECT_EQ(f.params.mfx.TargetKbps, 2944000 / 1024);
    EXPECT_EQ(f.params.mfx.MaxKbps, 0);
    ASSERT_EQ(f.params.NumExtParam, 1);
    ASSERT_EQ(f.params.ExtParam[0]->BufferId, static_cast<mfxU32>(MFX_EXTBUFF_CODING_OPTION3));
    EXPECT_EQ(f.params.ExtParam[0]->BufferSz, 512u);
    EXPECT_EQ(reinterpret_cast<const mfxExtCodingOption3*>(f.params.ExtParam[0])->QVBRQuality, 1);
    EXPECT_EQ(Filled(MFX_RATECONTROL_QVBR, 0).ext.option3.QVBRQuality, 51);
    EXPECT_EQ(Filled(MFX_RATECONTROL_QVBR, 1).ext.option3.QVBRQuality, 26);
}

TEST(IntelRateControl, BitRateMethodsSetSpeedByQualityAndAllowTwiceTheTarget) {
    for (int method : {MFX_RATECONTROL_CBR, MFX_RATECONTROL_VBR}) {
        const uint16_t expected[] = {7, 4, 1};
        for (int q = 0; q < 3; ++q) {
            const Filled f(method, q);
            EXPECT_EQ(f.params.mfx.TargetUsage, expected[q]) << "method " << method << " quality " << q;
            EXPECT_EQ(f.params.mfx.TargetKbps, 2875);
            EXPECT_EQ(f.params.mfx.MaxKbps, 5750);
            EXPECT_EQ(f.params.NumExtParam, 0);
        }
    }
}

TEST(IntelRateControl, ConstantQpLookaheadAndIcqFollowTheQualityLevel) {
    const uint16_t qp[] = {46, 36, 26};
    const uint16_t depth[] = {10, 50, 100};
    const uint16_t icq[] = {36, 26, 16};
    for (int q = 0; q < 3; ++q) {
        const Filled cqp(MFX_RATECONTROL_CQP, q);
        EXPECT_EQ(cqp.params.mfx.QPI, qp[q]);
        EXPECT_EQ(cqp.params.mfx.QPP, qp[q]);
        EXPECT_EQ(cqp.params.mfx.QPB, qp[q]);

        const Filled la(MFX_RATECONTROL_LA, q);
        ASSERT_EQ(la.params.NumExtParam, 1);
        EXPECT_EQ(la.params.ExtParam[0]->BufferId, static_cast<mfxU32>(MFX_EXTBUFF_CODING_OPTION2));
        EXPECT_EQ(la.params.ExtParam[0]->BufferSz, 68u);
        EXPECT_EQ(la.ext.option2.LookAheadDepth, depth[q]);

        EXPECT_EQ(Filled(MFX_RATECONTROL_ICQ, q).params.mfx.ICQQuality, icq[q]);
        EXPECT_EQ(Filled(MFX_RATECONTROL_LA_ICQ, q).params.mfx.ICQQuality, icq[q]);
    }
}

TEST(IntelRateControl, QualityOutsideTheThreeLevelsTakesTheNearestOne) {
    EXPECT_EQ(Filled(MFX_RATECONTROL_QVBR, 7).ext.option3.QVBRQuality, 1);
    EXPECT_EQ(Filled(MFX_RATECONTROL_QVBR, -3).ext.option3.QVBRQuality, 51);
    EXPECT_EQ(Filled(MFX_RATECONTROL_VBR, 99).params.mfx.TargetUsage, 1);
}

TEST(IntelRateControl, BitRatesBeyondTheSdkFieldsAreCappedNotWrapped) {
    // 100 Mbit/s is 97656 kbit/s, more than the 16-bit field holds.
    const Filled f(MFX_RATECONTROL_VBR, 1, Block(100000000));
    EXPECT_EQ(f.params.mfx.TargetKbps, 65535);
    EXPECT_EQ(f.params.mfx.MaxKbps, 65535);
}

TEST(IntelFrameSettings, OddSizedFrameIsCodedInWholeMacroblocksAndCroppedBack) {
    const Filled f(MFX_RATECONTROL_QVBR, 2, Block(2944000, 1366, 766, 30));
    const mfxFrameInfo& info = f.params.mfx.FrameInfo;
    EXPECT_EQ(info.Width, 1376);
    EXPECT_EQ(info.Height, 768);
    EXPECT_EQ(info.CropW, 1366);
    EXPECT_EQ(info.CropH, 766);
    EXPECT_EQ(info.FourCC, static_cast<mfxU32>(MFX_FOURCC_NV12));
    EXPECT_EQ(info.FrameRateExtN, 30u);
    EXPECT_EQ(info.FrameRateExtD, 1u);
    EXPECT_EQ(f.params.mfx.GopPicSize, 90);
    EXPECT_EQ(f.params.mfx.GopRefDist, 10);
    EXPECT_EQ(f.params.mfx.GopOptFlag, MFX_GOP_CLOSED);
    EXPECT_EQ(f.params.mfx.NumSlice, 1);
    EXPECT_EQ(f.params.mfx.CodecProfile, 122);
    EXPECT_EQ(f.params.mfx.CodecLevel, 52);
    EXPECT_EQ(f.params.IOPattern, MFX_IOPATTERN_IN_SYSTEM_MEMORY);

    const NV12Layout layout = NV12LayoutFor(1366, 766);
    EXPECT_EQ(layout.pitch, 1376u);
    EXPECT_EQ(layout.lumaSize, 1376u * 768);
    EXPECT_EQ(layout.pictureSize, 1376u * 768 * 3 / 2);
}

TEST(IntelDecodingTimes, FirstTwoFramesAt25FpsAreEightyMillisecondsBeforeTheirInput) {
    int64_t ring[kPtsRingSize] = {1000, 1040};
    // Delivered while fewer than three frames have gone in.
    EXPECT_EQ(DeriveDts(ring, 1, 0, 25), 920);
    EXPECT_EQ(DeriveDts(ring, 2, 1, 25), 960);
}

TEST(IntelDecodingTimes, OnceThreeFramesAreInTheOffsetIsTheirOwnSpacing) {
    // An irregular start: two input intervals of 30 and 40 ms.
    int64_t ring[kPtsRingSize] = {1000, 1030, 1070};
    EXPECT_EQ(DeriveDts(ring, 3, 0, 25), 930);
    EXPECT_EQ(DeriveDts(ring, 4, 1, 25), 960);
}

TEST(IntelDecodingTimes, LaterFramesTakeThePtsOfTheFrameInputTwoPlacesBefore) {
    int64_t ring[kPtsRingSize] = {};
    for (int i = 0; i < 10; ++i) ring[i] = 500 + 40 * i;
    int64_t previous = DeriveDts(ring, 10, 1, 25);
    for (uint64_t k = 2; k < 10; ++k) {
        const int64_t dts = DeriveDts(ring, 10, k, 25);
        EXPECT_EQ(dts, ring[k - 2]);
        EXPECT_GT(dts, previous);
        previous = dts;
    }
}

TEST(IntelDecodingTimes, RingOfOneHundredWrapsWithTheCounts) {
    int64_t ring[kPtsRingSize] = {};
    for (int i = 0; i < 105; ++i) ring[i % kPtsRingSize] = 7 + 40 * i;
    EXPECT_EQ(DeriveDts(ring, 105, 102, 25), 7 + 40 * 100);
    EXPECT_EQ(DeriveDts(ring, 105, 101, 25), 7 + 40 * 99);
}

TEST(IntelNalRefIdc, ReferencePSliceGetsTwo) {
    // Slices come from the runtime marked 3; P 0x42 is P | reference.
    EXPECT_EQ(RewriteNalRefIdc(0x61, MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF), 0x41);
    EXPECT_EQ(RewriteNalRefIdc(0x01, MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF), 0x41);
}

TEST(IntelNalRefIdc, NonReferenceBSliceGetsZeroAndReferenceBOne) {
    EXPECT_EQ(RewriteNalRefIdc(0x61, MFX_FRAMETYPE_B), 0x01);
    EXPECT_EQ(RewriteNalRefIdc(0x61, MFX_FRAMETYPE_B | MFX_FRAMETYPE_REF), 0x21);
    // The second-field and IDR bits above the low byte do not change the answer.
    EXPECT_EQ(RewriteNalRefIdc(0x61, MFX_FRAMETYPE_B | MFX_FRAMETYPE_xB), 0x01);
}

TEST(IntelNalRefIdc, IdrSliceGetsThreeWhateverTheFrameType) {
    EXPECT_EQ(RewriteNalRefIdc(0x05, MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF | MFX_FRAMETYPE_IDR), 0x65);
    EXPECT_EQ(RewriteNalRefIdc(0x25, 0), 0x65);
}

TEST(IntelNalRefIdc, UnknownFrameTypesAndOtherUnitsAreLeftAlone) {
    EXPECT_EQ(RewriteNalRefIdc(0x61, 0), 0x61);
    EXPECT_EQ(RewriteNalRefIdc(0x41, MFX_FRAMETYPE_P), 0x41);  // P without the reference flag
    EXPECT_EQ(RewriteNalRefIdc(0x06, MFX_FRAMETYPE_B), 0x06);  // SEI
    EXPECT_EQ(RewriteNalRefIdc(0x67, MFX_FRAMETYPE_B), 0x67);  // SPS
}

TEST(IntelNalSplit, UnitsStartAtTheirThreeByteStartCodeAndLeaveTheNextCodesZeroBehind) {
    const auto units = Split({0, 0, 0, 1,    0x09, 0xF0,                // delimiter behind a four-byte code
                              0, 0, 1, 0x65, 0x88, 0x84, 0x21,          // IDR slice behind a three-byte code
                              0, 0, 0, 1,    0x65, 0x88, 0x03, 0x01});  // second slice behind a four-byte code
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0], (std::vector<uint8_t>{0, 0, 1, 0x09, 0xF0}));
    EXPECT_EQ(units[1], (std::vector<uint8_t>{0, 0, 1, 0x65, 0x88, 0x84, 0x21}));
    EXPECT_EQ(units[2], (std::vector<uint8_t>{0, 0, 1, 0x65, 0x88, 0x03, 0x01}));
}

TEST(IntelNalSplit, BytesBeforeTheFirstCodeTrailingZerosAndEmptyCodesAreDropped) {
    const auto units = Split({0x17, 0x2A, 0, 0, 1, 0x41, 0x9A, 0x80, 0, 0, 0, 0, 0, 1});
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0], (std::vector<uint8_t>{0, 0, 1, 0x41, 0x9A, 0x80}));
    EXPECT_TRUE(Split({0, 0, 1}).empty());
    EXPECT_TRUE(Split({0x41, 0x9A}).empty());
    EXPECT_TRUE(Split({}).empty());
}

TEST(IntelAudioSpecificConfig, StereoAt44100And48000) {
    uint8_t asc[2];
    MakeAudioSpecificConfig(44100, 2, asc);
    EXPECT_EQ(asc[0], 0x12);
    EXPECT_EQ(asc[1], 0x10);
    MakeAudioSpecificConfig(48000, 2, asc);
    EXPECT_EQ(asc[0], 0x11);
    EXPECT_EQ(asc[1], 0x90);
}

TEST(IntelAudioSpecificConfig, ChannelCountCannotSpillIntoTheFrequency) {
    uint8_t asc[2];
    MakeAudioSpecificConfig(44100, 17, asc);
    EXPECT_EQ(asc[0], 0x12);
    EXPECT_EQ(asc[1], 0x08);
}

TEST(IntelAudioSpecificConfig, FfmpegDecodesRawFramesAtEveryStandardRateWithIt) {
    // Raw frames carry neither rate nor channels: the decoder takes both from the AudioSpecificConfig alone.
    for (int rate : {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000}) {
        for (int channels : {1, 2}) {
            const std::vector<std::vector<uint8_t>> frames = RawAacFrames(rate, channels, 4);
            ASSERT_FALSE(frames.empty()) << rate << " Hz";
            uint8_t asc[2];
            MakeAudioSpecificConfig(rate, channels, asc);
            TestDecoder decoder(AV_CODEC_ID_AAC, {asc[0], asc[1]});
            ASSERT_TRUE(decoder.ok()) << rate << " Hz";
            for (size_t i = 0; i < frames.size(); ++i) decoder.Decode(frames[i], static_cast<int64_t>(i), 0);
            decoder.Flush();
            EXPECT_EQ(decoder.errors, 0) << rate << " Hz, " << channels << " channels";
            ASSERT_FALSE(decoder.frames.empty()) << rate << " Hz";
            EXPECT_EQ(decoder.frames[0]->sample_rate, rate);
            EXPECT_EQ(decoder.frames[0]->ch_layout.nb_channels, channels) << rate << " Hz";
        }
    }
}

TEST(IntelAdtsHeader, SevenBytesWithoutCrcAndNineWithIt) {
    const uint8_t plain[] = {0xFF, 0xF1, 0x50, 0x80, 0x02, 0x1F, 0xFC};
    const uint8_t withCrc[] = {0xFF, 0xF0, 0x50, 0x80, 0x02, 0x1F, 0xFC, 0x12, 0x34};
    EXPECT_EQ(AdtsHeaderLength(plain, sizeof(plain)), 7u);
    EXPECT_EQ(AdtsHeaderLength(withCrc, sizeof(withCrc)), 9u);
    const uint8_t raw[] = {0x21, 0x10, 0x04, 0x60, 0x8C, 0x1C, 0x00};
    EXPECT_EQ(AdtsHeaderLength(raw, sizeof(raw)), 0u);
    EXPECT_EQ(AdtsHeaderLength(plain, 5), 0u);
}
