// libfaac's encoder API over FFmpeg's native AAC encoder. libfaac hands out one frame per call and keeps its
// own start-up delay; FFmpeg's send/receive pair does the same once each call sends one 1024-sample frame
// and takes back at most one packet, so the caller sees libfaac's rhythm: 0 bytes for the first call, then
// one frame per call, trailing frames on calls with no input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include "media/faac_compat/faac.h"
#include "platform/ffmpeg/av_owners.h"
#include "platform/log.h"

namespace {

constexpr int kFrameSamples = 1024;  // per channel
constexpr int kAdtsHeaderBytes = 7;
constexpr int kMaxChannels = 8;

const unsigned long kSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                      22050, 16000, 12000, 11025, 8000,  7350};

char kName[] = "faac-compatible encoder over FFmpeg aac";
char kCopyright[] = "";

int SampleRateIndex(unsigned long rate) {
    for (int i = 0; i < static_cast<int>(sizeof(kSampleRates) / sizeof(kSampleRates[0])); ++i) {
        if (kSampleRates[i] == rate) return i;
    }
    return -1;
}

// The MPEG-4 channel configuration; 7 stands for eight channels.
int ChannelConfiguration(unsigned int channels) { return channels == 8 ? 7 : static_cast<int>(channels); }

struct FaacEncoder {
    unsigned long sampleRate = 0;
    unsigned int channels = 0;
    int rateIndex = 0;
    faacEncConfiguration config{};
    CodecContextPtr context;
    FramePtr frame;
    PacketPtr packet;
    int64_t nextPts = 0;
    bool draining = false;
    bool failed = false;  // the configuration could not be opened; every encode call reports it
};

FaacEncoder* FromHandle(faacEncHandle handle) { return static_cast<FaacEncoder*>(handle); }

bool ConfigurationSupported(const faacEncConfiguration& c) {
    const bool objectType = c.aacObjectType == MAIN || c.aacObjectType == LOW || c.aacObjectType == LTP;
    const bool input =
        c.inputFormat == FAAC_INPUT_16BIT || c.inputFormat == FAAC_INPUT_32BIT || c.inputFormat == FAAC_INPUT_FLOAT;
    return objectType && input && (c.mpegVersion == MPEG2 || c.mpegVersion == MPEG4) && c.outputFormat <= 1;
}

bool OpenContext(FaacEncoder* e) {
    e->context.reset();
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr) {
        Log(LogLevel::kWarning, "encoder", "FFmpeg has no aac encoder");
        return false;
    }
    CodecContextPtr c(avcodec_alloc_context3(codec));
    if (!c) return false;
    const faacEncConfiguration& cfg = e->config;
    c->sample_rate = static_cast<int>(e->sampleRate);
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&c->ch_layout, static_cast<int>(e->channels));
    c->time_base = AVRational{1, static_cast<int>(e->sampleRate)};
    c->profile = static_cast<int>(cfg.aacObjectType) - 1;  // FFmpeg numbers profiles from Main = 0
    c->cutoff = static_cast<int>(cfg.bandWidth);
    if (cfg.bitRate > 0) {
        c->bit_rate = static_cast<int64_t>(cfg.bitRate) * e->channels;
    } else {
        // libfaac's quality 100 is its normal setting; FFmpeg's is 1.0.
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = static_cast<int>(FF_QP2LAMBDA * static_cast<double>(cfg.quantqual) / 100.0);
    }
    av_opt_set_int(c->priv_data, "aac_tns", cfg.useTns ? 1 : 0, 0);
    av_opt_set_int(c->priv_data, "aac_ms", cfg.allowMidside ? -1 : 0, 0);
    const int ret = avcodec_open2(c.get(), codec, nullptr);
    if (ret < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(ret, text, sizeof(text));
        Log(LogLevel::kError, "encoder", "aac encoder refused %lu Hz, %u channels: %s", e->sampleRate, e->channels,
            text);
        return false;
    }
    e->context = std::move(c);
    e->nextPts = 0;
    e->draining = false;
    return true;
}

bool EnsureOpen(FaacEncoder* e) {
    if (e->context) return true;
    if (e->failed) return false;
    e->failed = !OpenContext(e);
    return !e->failed;
}

float SampleAt(const int32_t* input, unsigned int inputFormat, unsigned int index) {
    switch (inputFormat) {
        case FAAC_INPUT_16BIT:
            return reinterpret_cast<const int16_t*>(input)[index] / 32768.0f;
        case FAAC_INPUT_32BIT:  // 24-bit samples in 32-bit words
            return static_cast<float>(input[index]) / 8388608.0f;
        default:  // floats on the 16-bit scale
            return reinterpret_cast<const float*>(input)[index] / 32768.0f;
    }
}

// Deinterleaves one call's samples into a full frame; a short last call is completed with silence, as
// libfaac does.
bool FillFrame(FaacEncoder* e, const int32_t* input, unsigned int samples) {
    AVCodecContext* c = e->context.get();
    if (!e->frame) e->frame.reset(av_frame_alloc());
    AVFrame* f = e->frame.get();
    if (f == nullptr) return false;
    av_frame_unref(f);
    f->format = c->sample_fmt;
    f->nb_samples = c->frame_size;
    f->sample_rate = c->sample_rate;
    if (av_channel_layout_copy(&f->ch_layout, &c->ch_layout) < 0 || av_frame_get_buffer(f, 0) < 0) return false;
    const unsigned int perChannel = samples / e->channels;
    for (unsigned int ch = 0; ch < e->channels; ++ch) {
        float* plane = reinterpret_cast<float*>(f->extended_data[ch]);
        for (unsigned int i = 0; i < perChannel; ++i) {
            plane[i] = SampleAt(input, e->config.inputFormat, i * e->channels + ch);
        }
        std::memset(plane + perChannel, 0, (static_cast<size_t>(f->nb_samples) - perChannel) * sizeof(float));
    }
    f->pts = e->nextPts;
    e->nextPts += f->nb_samples;
    return true;
}

void WriteAdtsHeader(const FaacEncoder* e, int payloadBytes, unsigned char* out) {
    const int length = payloadBytes + kAdtsHeaderBytes;
    const int profile = static_cast<int>(e->config.aacObjectType) - 1;
    const int channels = ChannelConfiguration(e->channels);
    out[0] = 0xFF;
    out[1] = static_cast<unsigned char>(0xF0 | ((e->config.mpegVersion & 1) << 3) | 0x01);  // no CRC
    out[2] = static_cast<unsigned char>(((profile & 3) << 6) | (e->rateIndex << 2) | ((channels >> 2) & 1));
    out[3] = static_cast<unsigned char>(((channels & 3) << 6) | ((length >> 11) & 3));
    out[4] = static_cast<unsigned char>((length >> 3) & 0xFF);
    out[5] = static_cast<unsigned char>(((length & 7) << 5) | 0x1F);  // buffer fullness 0x7FF: variable rate
    out[6] = 0xFC;
}

// Takes at most one packet; 0 when none is ready, the frame's size in outputBuffer otherwise.
int TakePacket(FaacEncoder* e, unsigned char* outputBuffer, unsigned int bufferSize) {
    if (!e->packet) e->packet.reset(av_packet_alloc());
    AVPacket* p = e->packet.get();
    if (p == nullptr) return -1;
    const int ret = avcodec_receive_packet(e->context.get(), p);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return 0;
    if (ret < 0) return -1;
    const int header = e->config.outputFormat == 1 ? kAdtsHeaderBytes : 0;
    const int total = p->size + header;
    int result = -1;
    if (outputBuffer != nullptr && total <= static_cast<int64_t>(bufferSize)) {
        if (header > 0) WriteAdtsHeader(e, p->size, outputBuffer);
        std::memcpy(outputBuffer + header, p->data, static_cast<size_t>(p->size));
        result = total;
    } else {
        Log(LogLevel::kWarning, "encoder", "AAC frame of %d bytes does not fit a %u-byte buffer", total, bufferSize);
    }
    av_packet_unref(p);
    return result;
}

}  // namespace

extern "C" {

int FAACAPI faacEncGetVersion(char** faac_id_string, char** faac_copyright_string) {
    if (faac_id_string != nullptr) *faac_id_string = kName;
    if (faac_copyright_string != nullptr) *faac_copyright_string = kCopyright;
    return FAAC_CFG_VERSION;
}

faacEncHandle FAACAPI faacEncOpen(unsigned long sampleRate, unsigned int numChannels, unsigned long* inputSamples,
                                  unsigned long* maxOutputBytes) {
    const int rateIndex = SampleRateIndex(sampleRate);
    if (rateIndex < 0 || numChannels == 0 || numChannels > kMaxChannels || numChannels == 7) {
        Log(LogLevel::kWarning, "encoder", "no AAC encoding at %lu Hz with %u channels", sampleRate, numChannels);
        return nullptr;
    }
    auto* e = new FaacEncoder;
    e->sampleRate = sampleRate;
    e->channels = numChannels;
    e->rateIndex = rateIndex;
    faacEncConfiguration& c = e->config;
    c.version = FAAC_CFG_VERSION;
    c.name = kName;
    c.copyright = kCopyright;
    c.mpegVersion = MPEG4;
    c.aacObjectType = LOW;
    c.allowMidside = 1;
    c.useLfe = 1;
    c.useTns = 0;
    c.bitRate = 0;
    c.bandWidth = 0;
    c.quantqual = 100;
    c.outputFormat = 1;
    c.inputFormat = FAAC_INPUT_32BIT;
    c.shortctl = SHORTCTL_NORMAL;
    for (int i = 0; i < 64; ++i) c.channel_map[i] = i;
    if (inputSamples != nullptr) *inputSamples = static_cast<unsigned long>(kFrameSamples) * numChannels;
    // At most 6144 bits per channel per frame, plus the ADTS header.
    if (maxOutputBytes != nullptr) *maxOutputBytes = (6144ul / 8) * numChannels + kAdtsHeaderBytes;
    return e;
}

faacEncConfigurationPtr FAACAPI faacEncGetCurrentConfiguration(faacEncHandle hEncoder) {
    FaacEncoder* e = FromHandle(hEncoder);
    return e == nullptr ? nullptr : &e->config;
}

int FAACAPI faacEncSetConfiguration(faacEncHandle hEncoder, faacEncConfigurationPtr config) {
    FaacEncoder* e = FromHandle(hEncoder);
    if (e == nullptr || config == nullptr || !ConfigurationSupported(*config)) return 0;
    if (config != &e->config) e->config = *config;
    e->config.version = FAAC_CFG_VERSION;
    e->config.name = kName;
    e->config.copyright = kCopyright;
    // The FFmpeg encoder takes its settings at open: start over with the new ones.
    e->context.reset();
    e->failed = false;
    return EnsureOpen(e) ? 1 : 0;
}

int FAACAPI faacEncGetDecoderSpecificInfo(faacEncHandle hEncoder, unsigned char** ppBuffer,
                                          unsigned long* pSizeOfDecoderSpecificInfo) {
    FaacEncoder* e = FromHandle(hEncoder);
    if (e == nullptr || ppBuffer == nullptr || pSizeOfDecoderSpecificInfo == nullptr) return -1;
    if (e->config.mpegVersion == MPEG2) return -2;  // MPEG-2 streams carry no AudioSpecificConfig
    // AudioSpecificConfig: object type (5 bits), sampling-frequency index (4), channel configuration (4),
    // then three zero flags.
    const unsigned config = (e->config.aacObjectType << 11) | (static_cast<unsigned>(e->rateIndex) << 7) |
                            (static_cast<unsigned>(ChannelConfiguration(e->channels)) << 3);
    auto* buffer = static_cast<unsigned char*>(std::malloc(2));
    if (buffer == nullptr) return -3;
    buffer[0] = static_cast<unsigned char>(config >> 8);
    buffer[1] = static_cast<unsigned char>(config & 0xFF);
    *ppBuffer = buffer;
    *pSizeOfDecoderSpecificInfo = 2;
    return 0;
}

int FAACAPI faacEncEncode(faacEncHandle hEncoder, int32_t* inputBuffer, unsigned int samplesInput,
                          unsigned char* outputBuffer, unsigned int bufferSize) {
    FaacEncoder* e = FromHandle(hEncoder);
    if (e == nullptr || !EnsureOpen(e)) return -1;
    AVCodecContext* c = e->context.get();
    if (samplesInput == 0) {
        // No more input: hand out what the encoder still holds, one frame per call.
        if (!e->draining) {
            e->draining = true;
            if (avcodec_send_frame(c, nullptr) < 0) return -1;
        }
        return TakePacket(e, outputBuffer, bufferSize);
    }
    if (e->draining || inputBuffer == nullptr || samplesInput > kFrameSamples * e->channels) return -1;
    if (!FillFrame(e, inputBuffer, samplesInput)) return -1;
    int ret = avcodec_send_frame(c, e->frame.get());
    if (ret == AVERROR(EAGAIN)) {
        // A packet is still waiting: hand it out now and queue the frame behind it.
        const int taken = TakePacket(e, outputBuffer, bufferSize);
        if (avcodec_send_frame(c, e->frame.get()) < 0) return -1;
        return taken;
    }
    if (ret < 0) return -1;
    return TakePacket(e, outputBuffer, bufferSize);
}

int FAACAPI faacEncClose(faacEncHandle hEncoder) {
    FaacEncoder* e = FromHandle(hEncoder);
    if (e == nullptr) return 0;
    // libfaac drops what it still holds; let FFmpeg finish quietly instead of warning about its queue.
    if (e->context) {
        if (!e->draining) avcodec_send_frame(e->context.get(), nullptr);
        PacketPtr discard(av_packet_alloc());
        while (discard && avcodec_receive_packet(e->context.get(), discard.get()) >= 0) av_packet_unref(discard.get());
    }
    delete e;
    return 0;
}

}  // extern "C"
