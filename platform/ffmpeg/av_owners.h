// Owners for the FFmpeg handles that the recorder, the encoders, the picture loader and SourceKit hold.
// Each deleter is the one FFmpeg call that frees its handle completely; a null handle is fine.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// A demuxer opened with avformat_open_input.
struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

// A muxer made with avformat_alloc_output_context2: its file is closed with it.
struct OutputContextFree {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextFree>;

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

struct ResamplerFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFree>;

struct ScalerFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;

// Options handed to avformat_open_input or avcodec_open2, which replace the dictionary with the options
// they did not take.
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
