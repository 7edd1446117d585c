#include "scene/picture_loader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/ffmpeg/av_owners.h"
#include "platform/log.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// Picture files are read only through demuxers of still and animated pictures. A file whose
// content claims another format (a playlist, a stream description) could otherwise make the
// probe open network addresses or other files on the user's behalf.
constexpr const char* kPictureDemuxers = "image2,png_pipe,jpeg_pipe,bmp_pipe,gif,gif_pipe,webp_pipe,tiff_pipe";

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

struct OpenedInput {
    FormatContextPtr format;
    int stream = -1;
};

// exactDelays: GIF delays as the file stores them; by default the demuxer also replaces the
// short delays of 1 hundredth, which the layer shows as stored.
bool OpenInput(const std::string& path, bool exactDelays, OpenedInput* out) {
    CAvOptions options;
    options.Set("protocol_whitelist", "file");
    options.Set("format_whitelist", kPictureDemuxers);
    // A name with "%d" in it is a file name, not a pattern of numbered files.
    options.Set("pattern_type", "none");
    if (exactDelays) {
        // Only a stored 0 is replaced (by 10 hundredths); every other delay is reported as stored.
        options.Set("min_delay", "1");
        options.Set("default_delay", "10");
    }
    // The "file:" prefix keeps a name with a colon from being read as a protocol.
    const std::string url = "file:" + path;
    AVFormatContext* raw = nullptr;
    const int rc = avformat_open_input(&raw, url.c_str(), nullptr, options.Address());
    if (rc < 0) {
        Log(LogLevel::kError, "scene", "cannot open picture %s: %s", path.c_str(), ErrorText(rc).c_str());
        return false;
    }
    out->format.reset(raw);
    out->stream = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (out->stream < 0) {
        Log(LogLevel::kWarning, "scene", "%s holds no picture", path.c_str());
        return false;
    }
    return true;
}

CodecContextPtr OpenDecoder(const AVStream* stream, const std::string& path) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        Log(LogLevel::kWarning, "scene", "no decoder for %s", path.c_str());
        return nullptr;
    }
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0) return nullptr;
    // One picture is decoded once: worker threads would cost more than they save.
    ctx->thread_count = 1;
    const int rc = avcodec_open2(ctx.get(), codec, nullptr);
    if (rc < 0) {
        Log(LogLevel::kError, "scene", "cannot open the decoder for %s: %s", path.c_str(), ErrorText(rc).c_str());
        return nullptr;
    }
    return ctx;
}

// Bits per pixel of the bitmap a decoded format is shown from: 24 for opaque 8-bit-per-channel
// colour, 32 for 8-bit-per-channel colour with alpha, 0 for anything else.
int DepthOf(AVPixelFormat format) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (desc == nullptr) return 0;
    constexpr uint64_t kRefused = AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                                  AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER;
    if (desc->flags & kRefused) return 0;
    for (int i = 0; i < desc->nb_components; ++i)
        if (desc->comp[i].depth != 8) return 0;
    if (desc->nb_components == 4 && (desc->flags & AV_PIX_FMT_FLAG_ALPHA)) return 32;
    // Three colour components, whether or not a padding byte follows them (a 32-bit BMP whose
    // fourth bytes are all zero has no alpha and decodes as such).
    if (desc->nb_components == 3 && !(desc->flags & AV_PIX_FMT_FLAG_ALPHA)) return 24;
    return 0;
}

// The JPEG variants of the YCbCr formats mean full range; swscale wants the plain format and
// the range told separately.
AVPixelFormat PlainFormat(AVPixelFormat format, bool* fullRange) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            *fullRange = true;
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            *fullRange = true;
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            *fullRange = true;
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            *fullRange = true;
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            *fullRange = true;
            return AV_PIX_FMT_YUV411P;
        default:
            return format;
    }
}

// Converts a decoded frame into dst (same size) as BGR or BGRA. False when swscale refuses.
bool ConvertFrame(const AVFrame* frame, ImageBuffer* dst) {
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat source = PlainFormat(static_cast<AVPixelFormat>(frame->format), &fullRange);
    const AVPixelFormat target = dst->fourcc == kFourccRV32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    ScalerPtr sws(sws_getContext(frame->width, frame->height, source, dst->width, dst->height, target,
                                 SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
    if (!sws) return false;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(source);
    if (desc != nullptr && !(desc->flags & AV_PIX_FMT_FLAG_RGB)) {
        const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws.get(), coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    }
    uint8_t* planes[4] = {dst->planes[0], nullptr, nullptr, nullptr};
    int strides[4] = {dst->strides[0], 0, 0, 0};
    return sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) == dst->height;
}

bool UsableFrame(const AVFrame* frame) {
    return frame->width > 0 && frame->height > 0 && (frame->flags & AV_FRAME_FLAG_CORRUPT) == 0 &&
           frame->decode_error_flags == 0;
}

// The first picture of the stream, or null when none decodes.
FramePtr DecodeFirstFrame(AVFormatContext* format, int stream, AVCodecContext* decoder) {
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) return nullptr;
    bool draining = false;
    for (;;) {
        const int rc = avcodec_receive_frame(decoder, frame.get());
        if (rc == 0) {
            if (UsableFrame(frame.get())) return frame;
            av_frame_unref(frame.get());
            continue;
        }
        if (rc != AVERROR(EAGAIN) || draining) return nullptr;
        if (av_read_frame(format, packet.get()) < 0) {
            avcodec_send_packet(decoder, nullptr);
            draining = true;
            continue;
        }
        const bool ours = packet->stream_index == stream;
        const int sent = ours ? avcodec_send_packet(decoder, packet.get()) : 0;
        av_packet_unref(packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) return nullptr;
    }
}

}  // namespace

std::unique_ptr<CPictureBitmap> LoadPicture(const std::string& path) {
    OpenedInput input;
    if (!OpenInput(path, false, &input)) return nullptr;
    CodecContextPtr decoder = OpenDecoder(input.format->streams[input.stream], path);
    if (!decoder) return nullptr;
    FramePtr frame = DecodeFirstFrame(input.format.get(), input.stream, decoder.get());
    if (!frame) {
        Log(LogLevel::kError, "scene", "cannot decode picture %s", path.c_str());
        return nullptr;
    }
    const AVPixelFormat format = static_cast<AVPixelFormat>(frame->format);
    const int depth = DepthOf(format);
    if (depth == 0) {
        const char* name = av_get_pix_fmt_name(format);
        Log(LogLevel::kWarning, "scene", "picture %s is %s: only 24-bit colour or 32-bit colour with alpha is shown",
            path.c_str(), name ? name : "of an unknown layout");
        return nullptr;
    }
    ImageBufferPtr pixels(CreateImageBuffer(frame->width, frame->height, depth == 32 ? kFourccRV32 : kFourccRV24));
    if (!pixels || !ConvertFrame(frame.get(), pixels.get())) {
        Log(LogLevel::kError, "scene", "cannot convert picture %s (%dx%d)", path.c_str(), frame->width, frame->height);
        return nullptr;
    }
    return std::make_unique<CPictureBitmap>(std::move(pixels));
}

struct CGifFile::Impl {
    CodecContextPtr decoder;
    std::vector<PacketPtr> packets;
    ImageBufferPtr converted;  // frames the decoder gives in another layout than BGRA
};

CGifFile::CGifFile() : impl_(std::make_unique<Impl>()) {}
CGifFile::~CGifFile() = default;

bool CGifFile::Open(const std::string& path) {
    path_ = path;
    OpenedInput input;
    if (!OpenInput(path, true, &input)) return false;
    const AVStream* stream = input.format->streams[input.stream];
    // Demuxers that only learn the size by decoding (a PNG named .gif) leave it out of the header.
    if ((stream->codecpar->width <= 0 || stream->codecpar->height <= 0) &&
        avformat_find_stream_info(input.format.get(), nullptr) < 0) {
        Log(LogLevel::kError, "scene", "cannot read the size of %s", path.c_str());
        return false;
    }
    width_ = stream->codecpar->width;
    height_ = stream->codecpar->height;
    if (width_ <= 0 || height_ <= 0) {
        Log(LogLevel::kWarning, "scene", "%s has no picture size", path.c_str());
        return false;
    }
    // Only the compressed frames are kept: the layer needs the frame count before it sets aside
    // memory for the decoded ones.
    for (;;) {
        PacketPtr packet(av_packet_alloc());
        if (!packet) return false;
        if (av_read_frame(input.format.get(), packet.get()) < 0) break;
        if (packet->stream_index != input.stream) continue;
        const int64_t hundredths =
            packet->duration > 0 ? av_rescale_q(packet->duration, stream->time_base, AVRational{1, 100}) : 0;
        delays_.push_back(static_cast<uint32_t>(std::min<int64_t>(hundredths, UINT32_MAX)));
        impl_->packets.push_back(std::move(packet));
    }
    if (impl_->packets.empty()) {
        Log(LogLevel::kWarning, "scene", "%s holds no frame", path.c_str());
        return false;
    }
    impl_->decoder = OpenDecoder(stream, path);
    return impl_->decoder != nullptr;
}

int CGifFile::DecodeFrames(const FrameFn& onFrame) {
    AVCodecContext* decoder = impl_->decoder.get();
    if (decoder == nullptr) return 0;
    FramePtr frame(av_frame_alloc());
    if (!frame) return 0;
    int handed = 0;
    int lastHanded = -1;
    auto receive = [&](int index) {
        while (avcodec_receive_frame(decoder, frame.get()) == 0) {
            const bool fits = frame->width == width_ && frame->height == height_;
            if (UsableFrame(frame.get()) && fits && index > lastHanded) {
                if (frame->format == AV_PIX_FMT_BGRA) {
                    onFrame(index, frame->data[0], frame->linesize[0]);
                    lastHanded = index;
                    ++handed;
                } else {
                    if (!impl_->converted) impl_->converted.reset(CreateImageBuffer(width_, height_, kFourccRV32));
                    if (impl_->converted && ConvertFrame(frame.get(), impl_->converted.get())) {
                        onFrame(index, impl_->converted->planes[0], impl_->converted->strides[0]);
                        lastHanded = index;
                        ++handed;
                    }
                }
            }
            av_frame_unref(frame.get());
        }
    };
    const int count = static_cast<int>(impl_->packets.size());
    for (int i = 0; i < count; ++i) {
        if (avcodec_send_packet(decoder, impl_->packets[i].get()) < 0) {
            Log(LogLevel::kWarning, "scene", "frame %d of %s does not decode", i, path_.c_str());
            continue;
        }
        receive(i);
    }
    avcodec_send_packet(decoder, nullptr);
    receive(count - 1);
    return handed;
}
