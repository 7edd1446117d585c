#include "media/intel_aac_codec.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include "media/intel_codec_rules.h"
#include "platform/log.h"

namespace {

// The SDK asks for one AAC frame of PCM (a few kilobytes); anything far beyond is not a size to allocate.
constexpr uint32_t kMaxBufferBytes = 1u << 20;
// Frames an encoder may still hold at the end; the bound only guards against one that never empties.
constexpr int kMaxHeldFrames = 64;

}  // namespace

CIntelAACCodec::CIntelAACCodec() : CIntelAACCodec(CreateMfxAudioSession()) {}

CIntelAACCodec::CIntelAACCodec(std::unique_ptr<IMfxAudioSession> session) : session_(std::move(session)) {
    name_ = "IntelAAC";
}

CIntelAACCodec::~CIntelAACCodec() { Release(); }

int32_t CIntelAACCodec::Open(CodecParams* params) {
    Release();
    audioSpecificConfigLength_ = 0;
    if (params == nullptr || params->sampleRate <= 0 || params->channels <= 0) {
        Log(LogLevel::kWarning, "encoder", "no AAC encoding without a sample rate and channels");
        return -1;
    }
    sampleRate_ = params->sampleRate;
    channels_ = params->channels;

    // The audio library answers for itself: a session it cannot open shows in the calls below.
    mfxVersion version{};
    version.Major = 1;
    version.Minor = 13;
    session_->Init(MFX_IMPL_AUDIO | MFX_IMPL_SOFTWARE, &version);
    encoder_ = session_->CreateEncoder();

    param_ = mfxAudioParam{};
    param_.mfx.CodecId = MFX_CODEC_AAC;
    param_.mfx.CodecProfile = MFX_PROFILE_AAC_LC;
    param_.mfx.Bitrate = static_cast<mfxU32>(std::max(params->bitrate, 0));
    param_.mfx.SampleFrequency = static_cast<mfxU32>(sampleRate_);
    param_.mfx.NumChannel = static_cast<mfxU16>(channels_);
    param_.mfx.BitPerSample = 16;
    param_.mfx.OutputFormat = MFX_AUDIO_AAC_ADTS;
    param_.mfx.StereoMode = MFX_AUDIO_AAC_LR_STEREO;
    mfxStatus status = encoder_->Query(&param_, &param_);
    if (status != MFX_ERR_NONE) return Refuse(status, "parameters");
    mfxAudioAllocRequest request{};
    status = encoder_->QueryIOSize(&param_, &request);
    if (status != MFX_ERR_NONE) return Refuse(status, "buffer sizes");
    if (request.SuggestedInputSize == 0 || request.SuggestedInputSize > kMaxBufferBytes ||
        request.SuggestedOutputSize > kMaxBufferBytes) {
        return Refuse(MFX_ERR_UNSUPPORTED, "buffer sizes");
    }
    inputSize_ = request.SuggestedInputSize;
    outputSize_ = std::max(request.SuggestedInputSize, request.SuggestedOutputSize);
    input_.reset(new (std::nothrow) uint8_t[inputSize_]);
    output_.reset(new (std::nothrow) uint8_t[outputSize_]);
    if (!input_ || !output_) return Refuse(MFX_ERR_MEMORY_ALLOC, "buffer memory");
    frame_ = mfxAudioFrame{};
    frame_.Data = input_.get();
    frame_.MaxLength = inputSize_;
    frame_.NumChannels = static_cast<mfxU16>(channels_);
    frame_.SampleFrequency = static_cast<mfxU32>(sampleRate_);
    frame_.BitPerSample = 16;
    bitstream_ = mfxBitstream{};
    bitstream_.Data = output_.get();
    bitstream_.MaxLength = outputSize_;

    packet_ = EncodedPacket{};
    packet_.data = output_.get();
    packet_.mediaKind = MEDIA_AUDIO;
    packet_.durationMs = static_cast<int32_t>(static_cast<uint64_t>(inputSize_) * 1000 /
                                              (static_cast<uint64_t>(sampleRate_) * channels_ * 2));

    status = encoder_->Init(&param_);
    if (status < MFX_ERR_NONE) return Refuse(status, "initialisation");
    pending_ = 0;
    sync_ = nullptr;
    MakeAudioSpecificConfig(sampleRate_, channels_, audioSpecificConfig_);
    audioSpecificConfigLength_ = 2;
    errorLogged_ = false;
    opened_ = true;
    return 0;
}

int32_t CIntelAACCodec::Refuse(mfxStatus status, const char* step) {
    if (!refusalLogged_) {
        Log(LogLevel::kError, "encoder",
            "the hardware AAC encoder refused the %s (Media SDK status %d); it encodes no sound", step,
            static_cast<int>(status));
    }
    refusalLogged_ = true;
    Release();
    return status;
}

void CIntelAACCodec::Release() {
    opened_ = false;
    // The encoder stops using the buffers before they go.
    if (encoder_) encoder_->Close();
    encoder_.reset();
    session_->Close();
    input_.reset();
    output_.reset();
    frame_ = mfxAudioFrame{};
    bitstream_ = mfxBitstream{};
    sync_ = nullptr;
    pending_ = 0;
}

int32_t CIntelAACCodec::Encode(CodecParams* params) {
    if (!opened_ || params == nullptr) return 0;
    CutIntoFrames(
        *params, input_.get(), inputSize_, &pending_, packet_.durationMs, sampleRate_, channels_, [&](int64_t t) {
            frame_.DataLength = inputSize_;
            frame_.TimeStamp = static_cast<mfxU64>(std::max<int64_t>(t, 0)) * 90;
            sync_ = nullptr;
            const mfxStatus status = encoder_->EncodeFrameAsync(&frame_, &bitstream_, &sync_);
            if (status == MFX_ERR_NONE || status == MFX_ERR_MORE_BITSTREAM || (status > MFX_ERR_NONE && sync_)) {
                if (sync_ != nullptr) Collect(params);
            } else if (status != MFX_ERR_MORE_DATA && !errorLogged_) {
                Log(LogLevel::kWarning, "encoder",
                    "the hardware AAC encoder did not take a frame (Media SDK status %d)", static_cast<int>(status));
                errorLogged_ = true;
            }
        });
    return 0;
}

mfxStatus CIntelAACCodec::Collect(const CodecParams* params) {
    const mfxStatus status = session_->SyncOperation(sync_, kSyncTimeoutMs);
    sync_ = nullptr;
    if (status == MFX_ERR_NONE) {
        const size_t offset = std::min(bitstream_.DataOffset, bitstream_.MaxLength);
        const size_t length = std::min<size_t>(bitstream_.DataLength, bitstream_.MaxLength - offset);
        const uint8_t* data = bitstream_.Data + offset;
        // The header is 7 bytes, or 9 when it carries a CRC; the sink takes raw frames.
        const size_t header = AdtsHeaderLength(data, length);
        if (length > header) {
            packet_.pts = static_cast<int64_t>(bitstream_.TimeStamp / 90);
            packet_.dts = packet_.pts;
            packet_.data = data + header;
            packet_.size = static_cast<int32_t>(length - header);
            if (params != nullptr && params->sink != nullptr) {
                params->sink(PACKET_TYPE_AUDIO, params->sinkContext, packet_.size, 0, &packet_);
            }
        }
        errorLogged_ = false;
    } else if (!errorLogged_) {
        Log(LogLevel::kError, "encoder", "a hardware-encoded AAC frame failed and is dropped (Media SDK status %d)",
            static_cast<int>(status));
        errorLogged_ = true;
    }
    bitstream_.DataOffset = 0;
    bitstream_.DataLength = 0;
    return status;
}

int32_t CIntelAACCodec::GetAudioSpecificConfig(const uint8_t** data, int32_t* length) {
    if (data != nullptr) *data = audioSpecificConfig_;
    if (length != nullptr) *length = audioSpecificConfigLength_;
    return 0;
}

int32_t CIntelAACCodec::Close(CodecParams* params) {
    if (!opened_) {
        Release();
        return 0;
    }
    opened_ = false;
    mfxStatus result = MFX_ERR_NONE;
    for (int i = 0; i < kMaxHeldFrames; ++i) {
        sync_ = nullptr;
        const mfxStatus status = encoder_->EncodeFrameAsync(nullptr, &bitstream_, &sync_);
        if (status == MFX_ERR_MORE_DATA) break;
        if (sync_ == nullptr) {
            if (status < MFX_ERR_NONE) {
                result = status;
                break;
            }
            if (status == MFX_WRN_DEVICE_BUSY) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const mfxStatus collected = Collect(params);
        if (collected != MFX_ERR_NONE) {
            // Still running after the wait counts as failed: the encoder is closed before its buffers go.
            result = collected < MFX_ERR_NONE ? collected : MFX_ERR_GPU_HANG;
            break;
        }
    }
    Release();
    return result;
}
