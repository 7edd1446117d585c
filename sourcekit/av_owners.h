// Owners for the FFmpeg handles that SourceKit's devices hold, and the few FFmpeg helpers that
// every device kind shares. Internal to the library.
#pragma once

#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

struct DictionaryFree {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};

struct ResamplerFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFree>;

// Options handed to avformat_open_input, which replaces the dictionary with the options it did not take.
class CAvOptions {
public:
    CAvOptions() = default;
    ~CAvOptions() { av_dict_free(&dictionary_); }
    CAvOptions(const CAvOptions&) = delete;
    CAvOptions& operator=(const CAvOptions&) = delete;

    void Set(const char* key, const char* value) { av_dict_set(&dictionary_, key, value, 0); }
    AVDictionary** Address() { return &dictionary_; }

private:
    AVDictionary* dictionary_ = nullptr;
};

// FFmpeg's registration and network start-up, done once per process.
void EnsureFfmpegDevicesRegistered();
void EnsureFfmpegNetworkReady();

// A timestamp in a stream's time base as milliseconds, rounded to nearest; "no time" stays
// AV_NOPTS_VALUE (INT64_MIN), which every pacing check treats as long overdue.
inline int64_t ToMilliseconds(int64_t value, AVRational timeBase) {
    return av_rescale_q_rnd(value, timeBase, AVRational{1, 1000},
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}
