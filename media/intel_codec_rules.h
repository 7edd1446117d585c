// The rules of the hardware encoders that need no hardware: the Media SDK parameters for each rate-control
// method and quality level, the decoding times of delivered frames, the NAL unit split with its nal_ref_idc
// correction, the surface layout and the AAC AudioSpecificConfig. CIntel264Codec and CIntelAACCodec apply
// them; they are kept apart so they can be checked on machines without an encoder.
#pragma once

#include <mfxstructures.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "media/codec.h"

// The extension records some rate-control methods attach to the parameters. The parameters point into this
// block, so it must outlive every SDK call that is given them.
struct Intel264ExtBuffers {
    mfxExtCodingOption2 option2;
    mfxExtCodingOption3 option3;
    mfxExtBuffer* attached[1];
};

// Fills the encoder parameters for `method` (Media SDK rate-control code) and `quality` (0 fastest to 2 best;
// out-of-range levels are taken as the nearest one) from the stream block: bit rate, frame size and rate.
// numRefFrame is left to the encoder when 0.
void FillIntel264Params(const CodecParams& block, int32_t method, int32_t quality, uint16_t numRefFrame,
                        mfxVideoParam* params, Intel264ExtBuffers* ext);

// One NV12 picture of a surface: rows of `pitch` bytes, luma then the interleaved chroma plane.
struct NV12Layout {
    uint32_t pitch;
    size_t lumaSize;
    size_t pictureSize;
};
NV12Layout NV12LayoutFor(int32_t width, int32_t height);

constexpr int kPtsRingSize = 100;

// Decoding time of the outputCount-th delivered frame (counting from 0) when inputCount frames have gone in,
// with ptsRing[i % kPtsRingSize] holding the pts of input frame i. The encoder is taken to hold output back
// by two frames: the first two frames borrow a two-frame offset, every later frame gets the pts of the frame
// input two places before it.
int64_t DeriveDts(const int64_t* ptsRing, uint64_t inputCount, uint64_t outputCount, int32_t fps);

// The header byte of a NAL unit with nal_ref_idc set from the SDK's frame type: 3 for IDR slices; for other
// slices 0 (non-reference B), 1 (reference B) or 2 (reference I or P). Other units are left as they are.
uint8_t RewriteNalRefIdc(uint8_t header, uint16_t frameType);

// Calls `unit` for every NAL unit in an Annex B buffer, split at each three-byte start code 00 00 01. Each unit
// begins at its start code (3 bytes) and ends before the next one; zero bytes in front of the next start code
// (the first byte of a four-byte start code, trailing_zero_8bits) are not part of it. Bytes before the first
// start code are skipped, as are start codes with nothing after them.
void ForEachNalUnit(uint8_t* data, size_t size, const std::function<void(uint8_t* unit, size_t size)>& unit);

// AAC LC AudioSpecificConfig (two bytes) for a sample rate and channel count.
void MakeAudioSpecificConfig(int32_t sampleRate, int32_t channels, uint8_t out[2]);

// Length of the ADTS header at data (7, or 9 with a CRC); 0 when data does not start with one.
size_t AdtsHeaderLength(const uint8_t* data, size_t size);
