// The software H.264 encoder: libx264 at a constant rate factor, fed one YUY2 frame per Encode from the
// composition thread, handing every slice NAL unit to the sink from libx264's own buffer. SPS and PPS never
// travel in the stream; the engine takes them from GetParameterSets for its sequence headers.
#pragma once

#include <cstdint>
// x264.h needs the fixed-width integer types declared first.
#include <x264.h>

#include <memory>

#include "media/codec.h"

class CLibx264Codec : public CH264Codec {
public:
    CLibx264Codec();
    ~CLibx264Codec() override;

    // Opens the encoder; method and quality only matter to the hardware encoder. Negative when libx264
    // refuses the parameters, in which case Encode and Close do nothing.
    int32_t Initialize(CodecParams* params, int32_t method, int32_t quality) override;
    int32_t Open(CodecParams* params) override;
    // Returns -1 when libx264 reports an error; 0 also when the frame was only taken into the lookahead.
    int32_t Encode(CodecParams* params) override;
    // Delivers every frame still held in the lookahead, then releases the encoder.
    int32_t Close(CodecParams* params) override;

    // The parameters the encoder was last opened with, as handed to libx264.
    const x264_param_t& OpenedParams() const { return param_; }
    bool IsOpen() const { return encoder_ != nullptr; }

private:
    struct EncoderCloser {
        void operator()(x264_t* encoder) const;
    };

    void Release();
    void Deliver(const x264_nal_t* nals, int count, const CodecParams* params);
    bool StoreHeaders();

    std::unique_ptr<x264_t, EncoderCloser> encoder_;
    x264_picture_t input_{};
    bool inputAllocated_ = false;
    x264_picture_t output_{};
    x264_param_t param_{};
    bool reportedEncodeError_ = false;
};

// Copies one parameter-set unit into a fixed store; false (store emptied) when it does not fit.
bool CopyParameterSet(const uint8_t* unit, int size, uint8_t* store, int capacity, int32_t* length);
