// Test helpers for the encoders: a sink that keeps copies of every unit, FFmpeg decoders to read the units
// back, and generated pictures and sound.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include "media/codec.h"
#include "platform/ffmpeg/av_owners.h"

// One unit as the sink saw it, copied out of the encoder's buffer.
struct CapturedUnit {
    int32_t type = 0;
    int32_t size = 0;
    int32_t reserved = -1;
    int call = 0;  // which Encode (or Close, -1) delivered it
    std::vector<uint8_t> bytes;
    int32_t prefixLength = 0;
    int32_t mediaKind = 0;
    int32_t frameType = 0;
    int32_t durationMs = 0;
    int64_t pts = 0;
    int64_t dts = 0;

    int NalType() const { return bytes.size() > static_cast<size_t>(prefixLength) ? bytes[prefixLength] & 0x1F : -1; }
};

struct SinkCapture {
    std::vector<CapturedUnit> units;
    int call = 0;
    void* expectedContext = nullptr;
    int wrongContext = 0;

    static int32_t Sink(int32_t type, void* context, int32_t size, int32_t reserved, EncodedPacket* packet) {
        auto* self = static_cast<SinkCapture*>(context);
        CapturedUnit u;
        u.type = type;
        u.size = size;
        u.reserved = reserved;
        u.call = self->call;
        u.bytes.assign(packet->data, packet->data + packet->size);
        u.prefixLength = packet->prefixLength;
        u.mediaKind = packet->mediaKind;
        u.frameType = packet->frameType;
        u.durationMs = packet->durationMs;
        u.pts = packet->pts;
        u.dts = packet->dts;
        self->units.push_back(std::move(u));
        return 0;
    }

    void Attach(CodecParams* params) {
        params->sink = &SinkCapture::Sink;
        params->sinkContext = this;
    }
};

// An FFmpeg decoder that keeps every frame it returns.
class TestDecoder {
public:
    // extradata: the AAC AudioSpecificConfig, or nothing for Annex B H.264.
    TestDecoder(AVCodecID id, const std::vector<uint8_t>& extradata = {}) {
        const AVCodec* codec = avcodec_find_decoder(id);
        if (codec == nullptr) return;
        context_.reset(avcodec_alloc_context3(codec));
        context_->thread_count = 1;
        if (!extradata.empty()) {
            context_->extradata = static_cast<uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            std::memcpy(context_->extradata, extradata.data(), extradata.size());
            context_->extradata_size = static_cast<int>(extradata.size());
        }
        if (avcodec_open2(context_.get(), codec, nullptr) < 0) context_.reset();
        packet_.reset(av_packet_alloc());
    }

    bool ok() const { return context_ != nullptr; }

    // Returns false when the decoder rejected the data.
    bool Decode(const std::vector<uint8_t>& data, int64_t pts, int64_t dts) {
        if (av_new_packet(packet_.get(), static_cast<int>(data.size())) < 0) return false;
        std::memcpy(packet_->data, data.data(), data.size());
        packet_->pts = pts;
        packet_->dts = dts;
        const int ret = avcodec_send_packet(context_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (ret < 0) {
            ++errors;
            return false;
        }
        return Receive();
    }

    bool Flush() {
        if (avcodec_send_packet(context_.get(), nullptr) < 0) return false;
        return Receive();
    }

    AVCodecContext* context() const { return context_.get(); }

    std::vector<FramePtr> frames;
    int errors = 0;

private:
    bool Receive() {
        for (;;) {
            FramePtr frame(av_frame_alloc());
            const int ret = avcodec_receive_frame(context_.get(), frame.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
            if (ret < 0) {
                ++errors;
                return false;
            }
            frames.push_back(std::move(frame));
        }
    }

    CodecContextPtr context_;
    PacketPtr packet_;
};

// A YUY2 picture that changes every frame: a drifting grainy luma wave, slowly turning colours and a bright square
// crossing the picture, so reordered or swapped frames show up as a drop in PSNR.
inline std::vector<uint8_t> MovingPatternYUY2(int width, int height, int frame) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 2);
    const double kPi = 3.14159265358979;
    const int boxSize = height / 5;
    const int boxX = (12 + frame * 7) % (width - boxSize);
    const int boxY = (8 + frame * 3) % (height - boxSize);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels.data() + static_cast<size_t>(y) * width * 2;
        for (int x = 0; x < width; ++x) {
            // Fine grain that pans with the wave, so the encoder has detail to lose.
            const uint32_t grain =
                (static_cast<uint32_t>(x + 4 * frame) * 2654435761u) ^ (static_cast<uint32_t>(y) * 40503u);
            double luma = 128 + 60 * std::sin(2 * kPi * (x + 4 * frame) / 64.0) * std::cos(2 * kPi * y / 48.0) +
                          static_cast<double>((grain >> 13) % 25) - 12;
            if (x >= boxX && x < boxX + boxSize && y >= boxY && y < boxY + boxSize) luma = 225;
            row[x * 2] = static_cast<uint8_t>(std::lround(luma));
            if (x % 2 == 0) {
                row[x * 2 + 1] =
                    static_cast<uint8_t>(std::lround(128 + 40 * std::sin(2 * kPi * (x + 2 * frame) / 160.0)));
            } else {
                row[x * 2 + 1] =
                    static_cast<uint8_t>(std::lround(128 + 40 * std::cos(2 * kPi * (y - 2 * frame) / 120.0)));
            }
        }
    }
    return pixels;
}

// PSNR in dB between two 8-bit planes of the same size.
inline double PlanePsnr(const uint8_t* a, int astride, const uint8_t* b, int bstride, int width, int height) {
    double squared = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double d = static_cast<double>(a[static_cast<ptrdiff_t>(y) * astride + x]) -
                             b[static_cast<ptrdiff_t>(y) * bstride + x];
            squared += d * d;
        }
    }
    const double mse = squared / (static_cast<double>(width) * height);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Interleaved 16-bit stereo: a sine of the given frequency and peak (full scale 1.0) on both channels,
// starting at sample index first.
inline std::vector<int16_t> StereoSine(double frequency, double peak, int sampleRate, int64_t first, int count) {
    std::vector<int16_t> samples(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        const double v =
            peak * std::sin(2 * 3.14159265358979 * frequency * static_cast<double>(first + i) / sampleRate);
        const auto s = static_cast<int16_t>(std::lround(v * 32767));
        samples[static_cast<size_t>(i) * 2] = s;
        samples[static_cast<size_t>(i) * 2 + 1] = s;
    }
    return samples;
}
