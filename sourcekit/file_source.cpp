#include "sourcekit/file_source.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "imaging/color_convert.h"
#include "platform/log.h"
#include "sourcekit/device_thread.h"

namespace {

void Diagnostic(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}

}  // namespace

bool CStreamDecoder::Open(const AVFormatContext* input, int streamIndex) {
    context_.reset();
    index_ = streamIndex;
    const AVStream* stream = input->streams[streamIndex];
    timeBase_ = stream->time_base;
    CodecContextPtr context(avcodec_alloc_context3(nullptr));
    if (context == nullptr || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0) {
        Diagnostic("Could not allocate AVCodecContext\n");
        return false;
    }
    const AVCodec* codec = avcodec_find_decoder(context->codec_id);
    if (codec == nullptr) {
        Diagnostic("Codec not found.\n");
        return false;
    }
    context->pkt_timebase = stream->time_base;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        Diagnostic("Could not open codec.\n");
        return false;
    }
    context_ = std::move(context);
    return true;
}

void CStreamDecoder::Decode(const AVPacket* packet, std::deque<FramePtr>* frames) {
    if (context_ == nullptr) return;
    // A damaged packet is skipped; the decoder recovers at the next one.
    if (avcodec_send_packet(context_.get(), packet) < 0 && packet != nullptr) return;
    // Every frame the packet yields is taken: a decoder that returns two frames for one packet
    // would otherwise refuse the next packet, and a file's last frames would stay in the decoder.
    for (;;) {
        FramePtr frame(av_frame_alloc());
        if (frame == nullptr) return;
        if (avcodec_receive_frame(context_.get(), frame.get()) < 0) return;
        frame->pts = ToMilliseconds(frame->pts, timeBase_);
        frames->push_back(std::move(frame));
    }
}

int64_t CStreamDecoder::DurationMs(const AVFrame* frame) const {
    return frame->pkt_duration > 0 ? ToMilliseconds(frame->pkt_duration, timeBase_) : 0;
}

int64_t CTimeJumpGuard::Admit(int64_t timeMs, int64_t durationMs) {
    if (timeMs == AV_NOPTS_VALUE || timeMs > kMaxTimeMs || timeMs < -kMaxTimeMs) return AV_NOPTS_VALUE;
    if (seen_ && timeMs > latest_ + kMaxJumpMs) {
        timeMs = latest_ + std::clamp<int64_t>(durationMs, 0, kMaxJumpMs);
    }
    if (!seen_ || timeMs > latest_) latest_ = timeMs;
    seen_ = true;
    return timeMs;
}

void CStreamDecoder::Flush() {
    if (context_ != nullptr) avcodec_flush_buffers(context_.get());
}

CFDevice::CFDevice(int32_t channels, int32_t sampleRate, DeviceCallback callback, void* user)
    : callback_(callback), user_(user) {
    audioInfo_.slots[0] = channels;
    audioInfo_.slots[1] = sampleRate;
}

CFDevice::~CFDevice() { av_channel_layout_uninit(&resampledLayout_); }

void CFDevice::PrepareResampler(AVCodecContext* decoder) {
    if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC && decoder->ch_layout.nb_channels > 0) {
        // Stereo for two channels and front centre for one, as the channel count implies.
        const int channels = decoder->ch_layout.nb_channels;
        av_channel_layout_uninit(&decoder->ch_layout);
        av_channel_layout_default(&decoder->ch_layout, channels);
    }
    SetUpResampler(decoder->sample_fmt, decoder->sample_rate, decoder->ch_layout);
}

void CFDevice::ReleaseResampler() {
    resampler_.reset();
    outputBuffer_.reset();
    resamplerConfigured_ = false;
}

bool CFDevice::SetUpResampler(int format, int rate, const AVChannelLayout& layout) {
    resampler_.reset();
    resamplerConfigured_ = true;
    resampledFormat_ = format;
    resampledRate_ = rate;
    AVChannelLayout chosen{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || layout.nb_channels <= 0) {
        if (layout.nb_channels > 0) av_channel_layout_default(&chosen, layout.nb_channels);
    } else if (av_channel_layout_copy(&chosen, &layout) < 0) {
        return false;
    }
    av_channel_layout_uninit(&resampledLayout_);
    resampledLayout_ = chosen;  // takes over chosen's storage
    if (format == AV_SAMPLE_FMT_U8 || format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S32) return false;
    if (format < 0 || rate <= 0 || audioInfo_.slots[1] <= 0 || resampledLayout_.nb_channels <= 0) return false;

    SwrContext* context = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (swr_alloc_set_opts2(&context, &stereo, AV_SAMPLE_FMT_S16, audioInfo_.slots[1], &resampledLayout_,
                            static_cast<AVSampleFormat>(format), rate, 0, nullptr) < 0) {
        return false;
    }
    ResamplerPtr resampler(context);
    if (swr_init(resampler.get()) < 0) {
        Log(LogLevel::kWarning, "sourcekit",
            "no resampler from %d Hz sound (format %d, %d channels); its sound is not delivered", rate, format,
            resampledLayout_.nb_channels);
        return false;
    }
    if (outputBuffer_ == nullptr) outputBuffer_.reset(new uint8_t[kSoundBufferBytes]);
    resampler_ = std::move(resampler);
    return true;
}

bool CFDevice::MatchResampler(const AVFrame* frame) {
    const bool sameLayout = frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC
                                ? frame->ch_layout.nb_channels == resampledLayout_.nb_channels
                                : av_channel_layout_compare(&frame->ch_layout, &resampledLayout_) == 0;
    if (resamplerConfigured_ && frame->format == resampledFormat_ && frame->sample_rate == resampledRate_ &&
        sameLayout) {
        return resampler_ != nullptr;
    }
    // The stream changed its sound format (or the decoder did not know it before the first frame).
    return SetUpResampler(frame->format, frame->sample_rate, frame->ch_layout);
}

void CFDevice::DeliverVideo(AVFrame* frame, int64_t base) {
    if (!ConvertVideo(frame, &image_)) return;
    const auto timestamp = static_cast<int32_t>(static_cast<uint32_t>(base + frame->pts));
    image_->timestamp = static_cast<uint32_t>(timestamp);
    videoInfo_.slots[4] = timestamp;
    callback_(SK_KIND_VIDEO, user_, 0, image_.get(), &videoInfo_);
}

void CFDevice::DeliverSound(AVFrame* frame, int64_t base, bool reportEmpty) {
    const int64_t start = base + frame->pts;
    audioInfo_.slots[4] = static_cast<int32_t>(frame->pkt_duration);
    const int chunks = ConvertSound(frame, [&](int chunk, int32_t bytes, int64_t offsetMs) {
        if (bytes <= 0 && (!reportEmpty || chunk > 0)) return;
        audioInfo_.slots[3] = static_cast<int32_t>(static_cast<uint32_t>(start + offsetMs));
        callback_(SK_KIND_AUDIO, user_, bytes, outputBuffer_.get(), &audioInfo_);
    });
    if (chunks < 0 && reportEmpty) {
        audioInfo_.slots[3] = static_cast<int32_t>(static_cast<uint32_t>(start));
        callback_(SK_KIND_AUDIO, user_, -1, outputBuffer_.get(), &audioInfo_);
    }
}

bool CFDevice::ConvertVideo(const AVFrame* frame, ImageBufferPtr* image) {
    if (!IsPlanar420(frame->format) || frame->data[0] == nullptr || frame->data[1] == nullptr ||
        frame->data[2] == nullptr) {
        return false;
    }
    ImageBuffer* target = image->get();
    if (target == nullptr || target->width != frame->width || target->height != frame->height) {
        ImageBuffer* fresh = CreateImageBuffer(frame->width, frame->height, kFourccYUY2);
        if (fresh == nullptr) return false;
        if (target == nullptr) {
            image->reset(fresh);
        } else {
            // The consumer is promised the same descriptor for every delivery; only its pixels move.
            std::swap(*target, *fresh);
            FreeImageBuffer(fresh);
        }
        target = image->get();
    }
    // The converter takes the chroma planes as Cr, Cb: the frame's planes 2 and 1.
    YCrCb420ToYUY2(frame->data[0], frame->linesize[0], frame->data[2], frame->linesize[2], frame->data[1],
                   frame->linesize[1], target->planes[0], target->strides[0], target->width, target->height);
    return true;
}
