#include "media/codec.h"

int32_t CBaseCodec::Initialize(CodecParams*, int32_t, int32_t) { return 0; }

int32_t CBaseCodec::Open(CodecParams*) { return 0; }

int32_t CBaseCodec::Encode(CodecParams*) { return 0; }

int32_t CBaseCodec::GetParameterSets(const uint8_t**, int32_t*, const uint8_t**, int32_t*) { return 0; }

int32_t CBaseCodec::GetAudioSpecificConfig(const uint8_t**, int32_t*) { return 0; }

int32_t CBaseCodec::Close(CodecParams*) { return 0; }

int32_t CH264Codec::GetParameterSets(const uint8_t** sps, int32_t* spsLength, const uint8_t** pps, int32_t* ppsLength) {
    if (sps != nullptr) *sps = sps_;
    if (spsLength != nullptr) *spsLength = spsLength_;
    if (pps != nullptr) *pps = pps_;
    if (ppsLength != nullptr) *ppsLength = ppsLength_;
    return 0;
}

void CH264Codec::DeliverNalUnit(const uint8_t* unit, int32_t size, int32_t prefixLength, int nalType,
                                const CodecParams* params) {
    if (nalType != kNalSlice && nalType != kNalIdrSlice) return;
    packet_.data = unit;
    packet_.size = size;
    packet_.prefixLength = prefixLength;
    if (params != nullptr && params->sink != nullptr)
        params->sink(PACKET_TYPE_VIDEO, params->sinkContext, packet_.size, 0, &packet_);
}

void CH264Codec::ClearParameterSets() {
    spsLength_ = 0;
    ppsLength_ = 0;
}
