#include "media/faac_codec.h"

#include <faac.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"

namespace {

constexpr int kAdtsHeaderBytes = 7;

}  // namespace

void CLibfaacCodec::EncoderCloser::operator()(void* encoder) const {
    faacEncClose(static_cast<faacEncHandle>(encoder));
}

CLibfaacCodec::CLibfaacCodec() = default;

CLibfaacCodec::~CLibfaacCodec() = default;

int32_t CLibfaacCodec::Open(CodecParams* params) {
    encoder_.reset();
    pending_ = 0;
    if (params == nullptr || params->sampleRate <= 0 || params->channels <= 0) {
        Log(LogLevel::kWarning, "encoder", "no AAC encoding without a sample rate and channels");
        return -1;
    }
    sampleRate_ = params->sampleRate;
    channels_ = params->channels;

    unsigned long inputSamples = 0;
    unsigned long maxOutputBytes = 0;
    encoder_.reset(faacEncOpen(static_cast<unsigned long>(params->sampleRate),
                               static_cast<unsigned int>(params->channels), &inputSamples, &maxOutputBytes));
    if (!encoder_) {
        Log(LogLevel::kError, "encoder", "AAC encoder refused %d Hz with %d channels", params->sampleRate,
            params->channels);
        return -1;
    }
    if (inputSamples == 0 || maxOutputBytes <= kAdtsHeaderBytes) {
        Log(LogLevel::kWarning, "encoder", "AAC encoder reported no frame size");
        encoder_.reset();
        return -1;
    }
    inputSamples_ = static_cast<uint32_t>(inputSamples);
    maxOutputBytes_ = static_cast<uint32_t>(maxOutputBytes);
    frameBytes_ = static_cast<int32_t>(inputSamples_ * 2);
    pcmBuffer_ = std::make_unique<uint8_t[]>(static_cast<size_t>(frameBytes_));
    outputBuffer_ = std::make_unique<uint8_t[]>(maxOutputBytes_);

    faacEncConfigurationPtr config = faacEncGetCurrentConfiguration(encoder_.get());
    config->mpegVersion = MPEG4;
    config->inputFormat = FAAC_INPUT_16BIT;
    config->outputFormat = 1;  // ADTS
    config->useTns = 0;
    config->allowMidside = 1;
    config->aacObjectType = LOW;
    config->shortctl = SHORTCTL_NORMAL;
    config->quantqual = 50;
    config->bandWidth = 0;
    config->bitRate = static_cast<unsigned long>(params->bitrate / params->channels);  // per channel
    if (!faacEncSetConfiguration(encoder_.get(), config)) {
        Log(LogLevel::kError, "encoder", "AAC encoder refused %d bit/s", params->bitrate);
        encoder_.reset();
        return -1;
    }

    packet_ = EncodedPacket{};
    packet_.mediaKind = MEDIA_AUDIO;
    // Whole milliseconds of one frame of 16-bit samples: 23 at 44100 Hz.
    packet_.durationMs = static_cast<int32_t>(static_cast<uint64_t>(frameBytes_) * 1000 /
                                              (static_cast<uint64_t>(sampleRate_) * channels_ * 2));

    audioSpecificConfigLength_ = 0;
    unsigned char* info = nullptr;
    unsigned long infoLength = 0;
    if (faacEncGetDecoderSpecificInfo(encoder_.get(), &info, &infoLength) == 0 && info != nullptr) {
        if (infoLength <= sizeof(audioSpecificConfig_)) {
            std::memcpy(audioSpecificConfig_, info, infoLength);
            audioSpecificConfigLength_ = static_cast<uint32_t>(infoLength);
        } else {
            Log(LogLevel::kWarning, "encoder", "AudioSpecificConfig of %lu bytes does not fit", infoLength);
        }
    }
    std::free(info);
    return 0;
}

int32_t CLibfaacCodec::Encode(CodecParams* params) {
    if (!encoder_ || params == nullptr) return 0;
    CutIntoFrames(*params, pcmBuffer_.get(), static_cast<uint32_t>(frameBytes_), &pending_, packet_.durationMs,
                  sampleRate_, channels_, [&](int64_t t) {
                      const int n = faacEncEncode(encoder_.get(), reinterpret_cast<int32_t*>(pcmBuffer_.get()),
                                                  inputSamples_, outputBuffer_.get(), maxOutputBytes_);
                      // The library writes an ADTS header before every frame; the sink takes raw frames.
                      if (n <= kAdtsHeaderBytes) return;
                      packet_.pts = t;
                      packet_.dts = t;
                      packet_.data = outputBuffer_.get() + kAdtsHeaderBytes;
                      packet_.size = n - kAdtsHeaderBytes;
                      if (params->sink != nullptr)
                          params->sink(PACKET_TYPE_AUDIO, params->sinkContext, packet_.size, 0, &packet_);
                  });
    return 0;
}

int32_t CLibfaacCodec::GetAudioSpecificConfig(const uint8_t** data, int32_t* length) {
    if (data != nullptr) *data = audioSpecificConfig_;
    if (length != nullptr) *length = static_cast<int32_t>(audioSpecificConfigLength_);
    return 0;
}

int32_t CLibfaacCodec::Close(CodecParams*) {
    encoder_.reset();
    pcmBuffer_.reset();
    outputBuffer_.reset();
    pending_ = 0;
    return 0;
}
