// The software AAC encoder: turns the mixer's 16-bit interleaved PCM into raw AAC LC frames through the
// libfaac API, re-cutting whatever block sizes arrive into the library's fixed frames and stamping each frame
// with the time of its first sample. Encode runs on the audio mixing thread, the rest at start and stop.
#pragma once

#include <cstdint>
#include <memory>

#include "media/codec.h"

class CLibfaacCodec : public CBaseCodec {
public:
    CLibfaacCodec();
    ~CLibfaacCodec() override;

    // Negative when the library refuses the rate or channel count; Encode then does nothing.
    int32_t Open(CodecParams* params) override;
    int32_t Encode(CodecParams* params) override;
    int32_t GetAudioSpecificConfig(const uint8_t** data, int32_t* length) override;
    // Sound still waiting for a full frame, or held inside the library, is dropped.
    int32_t Close(CodecParams* params) override;

    // Bytes of PCM waiting for the next frame.
    uint32_t Pending() const { return pending_; }
    // Bytes of PCM per frame (1024 samples per channel).
    int32_t FrameBytes() const { return frameBytes_; }

private:
    struct EncoderCloser {
        void operator()(void* encoder) const;
    };

    std::unique_ptr<void, EncoderCloser> encoder_;
    uint32_t inputSamples_ = 0;
    int32_t frameBytes_ = 0;
    uint32_t maxOutputBytes_ = 0;
    std::unique_ptr<uint8_t[]> pcmBuffer_;
    std::unique_ptr<uint8_t[]> outputBuffer_;
    uint32_t pending_ = 0;
    uint8_t audioSpecificConfig_[4] = {};
    uint32_t audioSpecificConfigLength_ = 0;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
};
