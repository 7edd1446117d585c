#include "media/codec.h"

int32_t CBaseCodec::Initialize(CodecParams*, int32_t, int32_t) { return 0; }

int32_t CBaseCodec::Open(CodecParams*) { return 0; }

int32_t CBaseCodec::Encode(CodecParams*) { return 0; }

int32_t CBaseCodec::GetParameterSets(const uint8_t**, int32_t*, const uint8_t**, int32_t*) { return 0; }

int32_t CBaseCodec::GetAudioSpecificConfig(const uint8_t**, int32_t*) { return 0; }

int32_t CBaseCodec::Close(CodecParams*) { return 0; }
