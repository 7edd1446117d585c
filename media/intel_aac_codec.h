// The hardware AAC encoder over the Media SDK's audio library: the mixer's 16-bit PCM is re-cut into the SDK's
// input size, each frame is encoded and waited for at once, and the ADTS header the SDK writes is stripped. The
// Linux dispatcher has no audio library, so there it stays closed and produces nothing. Encode runs on the
// audio mixing thread, the rest on the main window's thread.
#pragma once

#include <mfxastructures.h>
#include <mfxstructures.h>

#include <cstdint>
#include <memory>

#include "media/codec.h"
#include "media/mfx_session.h"

class CIntelAACCodec : public CBaseCodec {
public:
    // On the SDK's dispatcher.
    CIntelAACCodec();
    explicit CIntelAACCodec(std::unique_ptr<IMfxAudioSession> session);
    ~CIntelAACCodec() override;

    // The SDK's status when it refuses the parameters, the buffer sizes or the initialisation (-1 for a block
    // without a sample rate or channels); the encoder then stays closed and Encode and Close do nothing.
    int32_t Open(CodecParams* params) override;
    int32_t Encode(CodecParams* params) override;
    // Two bytes once opened; length 0 before.
    int32_t GetAudioSpecificConfig(const uint8_t** data, int32_t* length) override;
    // Delivers the frames the encoder still holds, waiting for each as Encode does, then releases it. Sound
    // waiting for a full frame is dropped. The SDK's status when a held frame could not be collected.
    int32_t Close(CodecParams* params) override;

    bool IsOpen() const { return opened_; }
    // Bytes of PCM per frame, as the SDK asked for them.
    uint32_t FrameBytes() const { return inputSize_; }
    uint32_t Pending() const { return pending_; }

    static constexpr uint32_t kSyncTimeoutMs = 6000;

private:
    int32_t Refuse(mfxStatus status, const char* step);
    void Release();
    // Waits for the frame behind sync_ and hands it to the sink without its ADTS header; the wait's status.
    mfxStatus Collect(const CodecParams* params);

    std::unique_ptr<IMfxAudioSession> session_;
    std::unique_ptr<IMfxAudioEncoder> encoder_;  // destroyed before the session it works on
    mfxAudioParam param_{};
    uint32_t inputSize_ = 0;
    uint32_t outputSize_ = 0;
    mfxAudioFrame frame_{};
    std::unique_ptr<uint8_t[]> input_;
    mfxBitstream bitstream_{};
    std::unique_ptr<uint8_t[]> output_;
    mfxSyncPoint sync_ = nullptr;
    uint32_t pending_ = 0;
    uint8_t audioSpecificConfig_[2] = {};
    int32_t audioSpecificConfigLength_ = 0;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    bool opened_ = false;
    bool refusalLogged_ = false;
    bool errorLogged_ = false;
};
