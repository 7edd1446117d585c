#include "media/x264_codec.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "imaging/color_convert.h"
#include "platform/log.h"

namespace {

constexpr int kNalSps = 7;
constexpr int kNalPps = 8;
constexpr int kMaxIdleFlushCalls = 1000;

// libx264 writes its own lines straight to stderr; route its warnings and errors through our prefix and keep
// its informational chatter (CPU flags, end-of-stream statistics) out of the program's output.
void LogFromX264(void*, int level, const char* format, va_list args) {
    if (level > X264_LOG_WARNING) return;
    char line[512];
    std::vsnprintf(line, sizeof(line), format, args);
    Log(LogLevel::kWarning, "encoder", "x264 %s: %s", level == X264_LOG_ERROR ? "error" : "warning", line);
}

// Bytes up to and including the first 0x01: the Annex B start code (3 or 4 bytes).
int StartCodeLength(const uint8_t* data, int size) {
    for (int i = 0; i < size; ++i) {
        if (data[i] == 1) return i + 1;
    }
    return 0;
}

}  // namespace

bool CopyParameterSet(const uint8_t* unit, int size, uint8_t* store, int capacity, int32_t* length) {
    if (unit == nullptr || size <= 0 || size > capacity) {
        *length = 0;
        return false;
    }
    std::memcpy(store, unit, static_cast<size_t>(size));
    *length = size;
    return true;
}

void CLibx264Codec::EncoderCloser::operator()(x264_t* encoder) const { x264_encoder_close(encoder); }

CLibx264Codec::CLibx264Codec() = default;

CLibx264Codec::~CLibx264Codec() { Release(); }

int32_t CLibx264Codec::Initialize(CodecParams* params, int32_t, int32_t) { return Open(params); }

int32_t CLibx264Codec::Open(CodecParams* params) {
    Release();
    spsLength_ = 0;
    ppsLength_ = 0;
    if (params == nullptr) return -1;
    if (params->fps <= 0) {
        Log(LogLevel::kError, "encoder", "cannot encode at %d fps", params->fps);
        return -1;
    }

    x264_param_default(&param_);
    param_.pf_log = LogFromX264;
    param_.p_log_private = nullptr;
    param_.i_width = params->width;
    param_.i_height = params->height;
    param_.b_repeat_headers = 0;
    param_.i_fps_num = static_cast<uint32_t>(params->fps);
    param_.i_fps_den = 1;
    // Our timestamps count milliseconds. Left at its default of 1/fps, libx264 would read the 40 ms between two
    // frames at 25 fps as 40 frame durations, and its rate control would spend three to twenty times the bits
    // that CRF 35 stands for (measured; the grainier the picture, the worse).
    param_.i_timebase_num = 1;
    param_.i_timebase_den = 1000;
    param_.i_keyint_max = params->fps * 3;
    param_.rc.i_rc_method = X264_RC_CRF;
    param_.rc.f_rate_tolerance = 0.1f;
    param_.rc.f_rf_constant = 35.0f;
    param_.rc.i_bitrate = params->bitrate / 1000;
    param_.rc.f_rf_constant_max = 45.0f;
    param_.i_level_idc = 51;
    param_.i_csp = X264_CSP_I420;
    param_.rc.i_vbv_max_bitrate = static_cast<int>(params->bitrate * 1.2 / 1000.0);
    // The last of libx264's profile names; it only widens what the stream may use, so its result is not needed.
    x264_param_apply_profile(&param_, "high444");

    x264_param_t opening = param_;
    encoder_.reset(x264_encoder_open(&opening));
    if (!encoder_) {
        Log(LogLevel::kError, "encoder", "libx264 refused %dx%d at %d fps", params->width, params->height, params->fps);
        return -1;
    }
    x264_picture_init(&input_);
    if (x264_picture_alloc(&input_, X264_CSP_I420, params->width, params->height) < 0) {
        Log(LogLevel::kError, "encoder", "no memory for a %dx%d picture", params->width, params->height);
        Release();
        return -1;
    }
    inputAllocated_ = true;
    if (!StoreHeaders()) {
        Release();
        spsLength_ = 0;
        ppsLength_ = 0;
        return -1;
    }

    packet_ = EncodedPacket{};
    packet_.mediaKind = MEDIA_VIDEO;
    reportedEncodeError_ = false;
    return 0;
}

bool CLibx264Codec::StoreHeaders() {
    x264_nal_t* nals = nullptr;
    int count = 0;
    if (x264_encoder_headers(encoder_.get(), &nals, &count) < 0) {
        Log(LogLevel::kWarning, "encoder", "libx264 wrote no stream headers");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const x264_nal_t& nal = nals[i];
        bool stored = true;
        if (nal.i_type == kNalSps) {
            stored = CopyParameterSet(nal.p_payload, nal.i_payload, sps_, kParameterSetCapacity, &spsLength_);
        } else if (nal.i_type == kNalPps) {
            stored = CopyParameterSet(nal.p_payload, nal.i_payload, pps_, kParameterSetCapacity, &ppsLength_);
        }
        if (!stored) {
            Log(LogLevel::kWarning, "encoder", "parameter set of %d bytes does not fit its %d-byte store",
                nal.i_payload, kParameterSetCapacity);
            return false;
        }
    }
    if (spsLength_ == 0 || ppsLength_ == 0) {
        Log(LogLevel::kWarning, "encoder", "libx264 wrote no SPS or PPS");
        return false;
    }
    return true;
}

int32_t CLibx264Codec::Encode(CodecParams* params) {
    if (!encoder_ || params == nullptr) return 0;
    if (params->inputData == nullptr) return -1;
    input_.i_pts = static_cast<int64_t>(static_cast<uint64_t>(params->pts));
    input_.i_dts = static_cast<int64_t>(static_cast<uint64_t>(params->dts));
    const int width = param_.i_width;
    const int height = param_.i_height;
    YUY2ToI420(params->inputData, width * 2, input_.img.plane[0], input_.img.i_stride[0], input_.img.plane[1],
               input_.img.i_stride[1], input_.img.plane[2], input_.img.i_stride[2], width, height);

    x264_nal_t* nals = nullptr;
    int count = 0;
    if (x264_encoder_encode(encoder_.get(), &nals, &count, &input_, &output_) < 0) {
        // The producer simply tries the next frame; one line per run of failures is enough.
        if (!reportedEncodeError_) Log(LogLevel::kError, "encoder", "Error.");
        reportedEncodeError_ = true;
        return -1;
    }
    reportedEncodeError_ = false;
    if (count > 0) Deliver(nals, count, params);
    return 0;
}

void CLibx264Codec::Deliver(const x264_nal_t* nals, int count, const CodecParams* params) {
    packet_.pts = output_.i_pts;
    packet_.dts = output_.i_dts;
    packet_.frameType = output_.i_type;
    packet_.size = 0;
    for (int i = 0; i < count; ++i) {
        const x264_nal_t& nal = nals[i];
        DeliverNalUnit(nal.p_payload, nal.i_payload, StartCodeLength(nal.p_payload, nal.i_payload), nal.i_type, params);
    }
}

int32_t CLibx264Codec::Close(CodecParams* params) {
    if (!encoder_) return 0;
    // Ask for delayed frames for as long as libx264 says it holds any: a flush call may return nothing while
    // frames are still in flight between its threads, and stopping there would lose the end of the live.
    // The bound only guards against a library that stops making progress.
    int idleCalls = 0;
    while (params != nullptr && x264_encoder_delayed_frames(encoder_.get()) > 0 && idleCalls < kMaxIdleFlushCalls) {
        x264_nal_t* nals = nullptr;
        int count = 0;
        if (x264_encoder_encode(encoder_.get(), &nals, &count, nullptr, &output_) < 0) {
            Log(LogLevel::kError, "encoder", "Error.");
            break;
        }
        idleCalls = count > 0 ? 0 : idleCalls + 1;
        if (count > 0) Deliver(nals, count, params);
    }
    Release();
    return 0;
}

void CLibx264Codec::Release() {
    if (inputAllocated_) x264_picture_clean(&input_);
    inputAllocated_ = false;
    encoder_.reset();
}
