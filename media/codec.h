// The encoder interface shared by the software and hardware H.264 and AAC encoders. The engine owns one
// CodecParams block per stream: it configures the encoder at open, carries each frame or block of sound into
// Encode on the producer thread, and names the sink that receives every encoded unit on that same thread.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

constexpr int32_t MEDIA_AUDIO = 1;
constexpr int32_t MEDIA_VIDEO = 2;

constexpr int32_t PACKET_TYPE_AUDIO = 0x11;  // one raw AAC frame
constexpr int32_t PACKET_TYPE_VIDEO = 0x12;  // one H.264 NAL unit with its start code

// One encoded unit, reused for every unit of its encoder: valid only during the sink call, and its data
// belongs to the encoder (or to libx264) and is overwritten by the next Encode.
struct EncodedPacket {
    const uint8_t* data;
    int32_t size;
    int32_t prefixLength;  // H.264: length of the Annex B start code at data (3 or 4); AAC: 0
    int32_t mediaKind;     // MEDIA_AUDIO or MEDIA_VIDEO
    int32_t frameType;     // H.264: picture type, 1 on key frames; AAC: 0
    int32_t durationMs;    // AAC: whole milliseconds per frame; H.264: 0
    int64_t pts;
    int64_t dts;  // may be negative on the first H.264 frames when the encoder reorders
};

// Called for every encoded unit; the result is not used.
using PacketSink = int32_t (*)(int32_t type, void* context, int32_t size, int32_t reserved, EncodedPacket* packet);

struct CodecParams {
    int32_t bitrate;           // bits per second
    int32_t inputBytes;        // audio: PCM bytes at inputData
    const uint8_t* inputData;  // video: one packed YUY2 frame, rows of width x 2 bytes; audio: 16-bit PCM
    int32_t width;
    int32_t height;
    int32_t fps;
    uint8_t parameterSets[200];  // PPS then SPS, each with its 4-byte start code
    int32_t parameterSetsLength;
    uint32_t pts;  // milliseconds since go-live
    uint32_t dts;
    int32_t channels;
    int32_t sampleRate;
    uint32_t audioTimestamp;  // time of the first sample at inputData, milliseconds since go-live
    uint8_t audioSpecificConfig[4];
    PacketSink sink;
    void* sinkContext;
};

// The time, in milliseconds since go-live, of the first of `pending` bytes of 16-bit PCM that an AAC encoder
// holds back for its next frame, given the time of the block arriving now.
inline int64_t PendingSoundStart(uint32_t audioTimestamp, uint64_t pending, int32_t sampleRate, int32_t channels) {
    const uint64_t bytesPerSecond = static_cast<uint64_t>(sampleRate) * static_cast<uint64_t>(channels) * 2;
    if (bytesPerSecond == 0) return audioTimestamp;
    return static_cast<int64_t>(audioTimestamp) - static_cast<int64_t>(pending * 1000 / bytesPerSecond);
}

// Re-cuts a block of 16-bit PCM of any size into an AAC encoder's fixed frames. The frame buffer
// (frameBytes long) already holds *pending bytes from earlier blocks; encodeFrame(timeMs) runs for every
// frame that completes, stamped with the time of its first sample, and what is left waits for the next block.
template <class EncodeFrame>
void CutIntoFrames(const CodecParams& params, uint8_t* frame, uint32_t frameBytes, uint32_t* pending,
                   int32_t frameDurationMs, int32_t sampleRate, int32_t channels, EncodeFrame encodeFrame) {
    // The time of the first byte already waiting: the frame that completes next starts there.
    int64_t t = PendingSoundStart(params.audioTimestamp, *pending, sampleRate, channels);
    if (params.inputBytes <= 0 || params.inputData == nullptr) return;
    const uint8_t* input = params.inputData;
    uint32_t remaining = static_cast<uint32_t>(params.inputBytes);
    for (;;) {
        if (*pending + remaining < frameBytes) {
            std::memcpy(frame + *pending, input, remaining);
            *pending += remaining;
            return;
        }
        const uint32_t take = frameBytes - *pending;
        std::memcpy(frame + *pending, input, take);
        encodeFrame(t);
        input += take;
        remaining -= take;
        *pending = 0;
        t += frameDurationMs;
        if (remaining == 0) return;
    }
}

// The base of every encoder. The engine calls Initialize (video) or Open (audio) once per live, the parameter
// sets or AudioSpecificConfig right after and whenever it re-sends codec headers, Encode from the producer
// thread while live, and Close once at stop. None of them locks: the engine keeps the calls apart.
class CBaseCodec {
public:
    CBaseCodec() = default;
    CBaseCodec(const CBaseCodec&) = delete;
    CBaseCodec& operator=(const CBaseCodec&) = delete;
    virtual ~CBaseCodec() = default;

    // method and quality are the hardware encoders' rate-control code and speed/quality level.
    virtual int32_t Initialize(CodecParams* params, int32_t method, int32_t quality);
    virtual int32_t Open(CodecParams* params);
    virtual int32_t Encode(CodecParams* params);
    // Outputs are left untouched by encoders without parameter sets.
    virtual int32_t GetParameterSets(const uint8_t** sps, int32_t* spsLength, const uint8_t** pps, int32_t* ppsLength);
    virtual int32_t GetAudioSpecificConfig(const uint8_t** data, int32_t* length);
    virtual int32_t Close(CodecParams* params);

    // Empty for the software encoders.
    const std::string& Name() const { return name_; }

protected:
    std::string name_;
    EncodedPacket packet_{};
};

// H.264 NAL unit types: only slices go to the sink; parameter sets travel through GetParameterSets.
constexpr int kNalSlice = 1;
constexpr int kNalIdrSlice = 5;

// What the software and the hardware H.264 encoders share: the stored parameter sets and the hand-over
// of every slice to the stream's sink.
class CH264Codec : public CBaseCodec {
public:
    static constexpr int kParameterSetCapacity = 64;

    // Each unit begins with its start code; lengths are 0 before a successful open.
    int32_t GetParameterSets(const uint8_t** sps, int32_t* spsLength, const uint8_t** pps, int32_t* ppsLength) override;

protected:
    // Gives one NAL unit (start code of prefixLength bytes included) to the sink when it is a slice;
    // packet_'s times and frame type are the caller's.
    void DeliverNalUnit(const uint8_t* unit, int32_t size, int32_t prefixLength, int nalType,
                        const CodecParams* params);
    void ClearParameterSets();

    uint8_t sps_[kParameterSetCapacity] = {};
    int32_t spsLength_ = 0;
    uint8_t pps_[kParameterSetCapacity] = {};
    int32_t ppsLength_ = 0;
};
