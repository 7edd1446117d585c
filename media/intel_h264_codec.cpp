#include "media/intel_h264_codec.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <thread>

#include "imaging/color_convert.h"
#include "platform/log.h"

namespace {

constexpr int32_t kMaxFrameSide = 16384;

}  // namespace

CIntel264Codec::CIntel264Codec() : CIntel264Codec(CreateMfxVideoSession()) {}

CIntel264Codec::CIntel264Codec(std::unique_ptr<IMfxVideoSession> session) : session_(std::move(session)) {
    name_ = "Intel264";
}

CIntel264Codec::~CIntel264Codec() {
    Release();
    if (sessionOpen_) session_->Close();
}

int32_t CIntel264Codec::Initialize(CodecParams* params, int32_t method, int32_t quality) {
    return Start(params, method, quality, 0);
}

int32_t CIntel264Codec::Open(CodecParams* params) { return Start(params, MFX_RATECONTROL_VBR, 1, 2); }

int32_t CIntel264Codec::Start(CodecParams* params, int32_t method, int32_t quality, uint16_t numRefFrame) {
    Release();
    spsLength_ = 0;
    ppsLength_ = 0;
    if (sessionOpen_) session_->Close();
    sessionOpen_ = false;
    if (params == nullptr) return -1;
    if (params->fps <= 0 || params->width <= 0 || params->height <= 0 || params->width > kMaxFrameSide ||
        params->height > kMaxFrameSide) {
        Log(LogLevel::kError, "encoder", "cannot encode %dx%d at %d fps in hardware", params->width, params->height,
            params->fps);
        return MFX_ERR_INVALID_VIDEO_PARAM;
    }

    mfxVersion version{};
    version.Major = 1;
    version.Minor = 0;
    mfxStatus status = session_->Init(MFX_IMPL_HARDWARE_ANY, &version);
    if (status < MFX_ERR_NONE) status = session_->Init(MFX_IMPL_HARDWARE, &version);
    if (status < MFX_ERR_NONE) {
        if (!refusalLogged_) {
            Log(LogLevel::kWarning, "encoder", "no hardware H.264 encoder on this machine (Media SDK status %d)",
                static_cast<int>(status));
        }
        refusalLogged_ = true;
        return -1;
    }
    sessionOpen_ = true;
    width_ = params->width;
    height_ = params->height;
    fps_ = params->fps;

    FillIntel264Params(*params, method, quality, numRefFrame, &param_, &ext_);
    encoder_ = session_->CreateEncoder();
    status = encoder_->Query(&param_, &param_);
    if (status < MFX_ERR_NONE) return Refuse(status, "parameters");

    mfxFrameAllocRequest request{};
    status = encoder_->QueryIOSurf(&param_, &request);
    if (status < MFX_ERR_NONE) return Refuse(status, "surface request");
    const NV12Layout layout = NV12LayoutFor(width_, height_);
    const size_t surfaceCount = std::max<size_t>(1, request.NumFrameSuggested);
    // Zeroed, so the rows below the frame that the encoder reads for alignment hold no stale memory.
    pictures_.reset(new (std::nothrow) uint8_t[layout.pictureSize * surfaceCount]());
    if (!pictures_) return Refuse(MFX_ERR_MEMORY_ALLOC, "surface memory");
    surfaces_.assign(surfaceCount, mfxFrameSurface1{});
    for (size_t i = 0; i < surfaceCount; ++i) {
        mfxFrameSurface1& surface = surfaces_[i];
        surface.Info = param_.mfx.FrameInfo;
        surface.Data.Y = pictures_.get() + i * layout.pictureSize;
        surface.Data.UV = surface.Data.Y + layout.lumaSize;
        surface.Data.V = surface.Data.UV + 1;
        surface.Data.Pitch = static_cast<mfxU16>(layout.pitch);
    }

    status = encoder_->Init(&param_);
    if (status < MFX_ERR_NONE) return Refuse(status, "initialisation");

    mfxVideoParam actual{};
    spsPps_ = mfxExtCodingOptionSPSPPS{};
    spsPps_.Header.BufferId = MFX_EXTBUFF_CODING_OPTION_SPSPPS;
    spsPps_.Header.BufferSz = sizeof(spsPps_);
    spsPps_.SPSBuffer = sps_;
    spsPps_.SPSBufSize = kParameterSetCapacity;
    spsPps_.PPSBuffer = pps_;
    spsPps_.PPSBufSize = kParameterSetCapacity;
    mfxExtBuffer* attached[] = {&spsPps_.Header};
    actual.ExtParam = attached;
    actual.NumExtParam = 1;
    status = encoder_->GetVideoParam(&actual);
    if (status < MFX_ERR_NONE) return Refuse(status, "parameter read");
    if (spsPps_.SPSBufSize > kParameterSetCapacity || spsPps_.PPSBufSize > kParameterSetCapacity) {
        return Refuse(MFX_ERR_NOT_ENOUGH_BUFFER, "parameter sets");
    }
    if (spsPps_.SPSBufSize == 0 || spsPps_.PPSBufSize == 0) return Refuse(MFX_ERR_UNSUPPORTED, "parameter sets");

    // One slot per frame the SDK may have in flight. A slot holds any compressed frame; when the SDK names no
    // size, a raw picture's worth is more than any frame needs.
    const size_t slotCount = std::max<size_t>(1, actual.AsyncDepth);
    size_t slotBytes =
        static_cast<size_t>(actual.mfx.BufferSizeInKB) * 1024 * std::max<size_t>(1, actual.mfx.BRCParamMultiplier);
    if (slotBytes == 0) slotBytes = layout.pictureSize;
    slotBytes = std::min<size_t>(slotBytes, UINT32_MAX);
    slots_.resize(slotCount);
    for (BitstreamSlot& slot : slots_) {
        slot.buffer.reset(new (std::nothrow) uint8_t[slotBytes]);
        if (!slot.buffer) return Refuse(MFX_ERR_MEMORY_ALLOC, "bitstream memory");
        slot.bitstream.Data = slot.buffer.get();
        slot.bitstream.MaxLength = static_cast<mfxU32>(slotBytes);
    }
    cursor_ = 0;
    busySlots_ = 0;

    spsLength_ = spsPps_.SPSBufSize;
    ppsLength_ = spsPps_.PPSBufSize;
    packet_ = EncodedPacket{};
    packet_.mediaKind = MEDIA_VIDEO;
    inputCount_ = 0;
    outputCount_ = 0;
    lastDts_ = INT64_MIN + 1;
    errorLogged_ = false;
    opened_ = true;
    return 0;
}

int32_t CIntel264Codec::Refuse(mfxStatus status, const char* step) {
    if (!refusalLogged_) {
        Log(LogLevel::kError, "encoder", "the hardware H.264 encoder refused the %s (Media SDK status %d)", step,
            static_cast<int>(status));
    }
    refusalLogged_ = true;
    Release();
    session_->Close();
    sessionOpen_ = false;
    spsLength_ = 0;
    ppsLength_ = 0;
    return status;
}

void CIntel264Codec::Release() {
    opened_ = false;
    // The encoder stops using the surfaces and slots before they go.
    if (encoder_) encoder_->Close();
    encoder_.reset();
    slots_.clear();
    surfaces_.clear();
    pictures_.reset();
    cursor_ = 0;
    busySlots_ = 0;
}

mfxFrameSurface1* CIntel264Codec::FreeSurface() {
    for (mfxFrameSurface1& surface : surfaces_) {
        if (surface.Data.Locked == 0) return &surface;
    }
    return nullptr;
}

int32_t CIntel264Codec::Encode(CodecParams* params) {
    if (!opened_ || params == nullptr) return 0;
    if (params->inputData == nullptr) return -1;

    // A failed earlier frame is reported, but its slot is free again and this frame still goes in.
    mfxStatus failure = MFX_ERR_NONE;
    mfxFrameSurface1* surface = FreeSurface();
    while (surface == nullptr || busySlots_ == slots_.size()) {
        if (busySlots_ == 0) {
            // Nothing to collect, so no surface will come free by waiting.
            LogOnce("the hardware encoder holds every surface; frame dropped", MFX_ERR_MORE_SURFACE);
            return MFX_ERR_MORE_SURFACE;
        }
        const mfxStatus status = CollectOldest(params);
        if (status > MFX_ERR_NONE) return MFX_ERR_GPU_HANG;
        if (status < MFX_ERR_NONE) failure = status;
        surface = FreeSurface();
    }

    YUY2ToNV12(params->inputData, width_ * 2, surface->Data.Y, surface->Data.Pitch, surface->Data.UV,
               surface->Data.Pitch, width_, height_);
    surface->Data.TimeStamp = static_cast<mfxU64>(params->pts) * 90;
    ptsRing_[inputCount_ % kPtsRingSize] = params->pts;

    const mfxStatus status = Submit(surface);
    if (status == MFX_ERR_NONE || status == MFX_ERR_MORE_DATA) {
        // Counted only once the encoder has it, so a refused frame leaves no gap in the decoding times.
        ++inputCount_;
        if (failure == MFX_ERR_NONE) errorLogged_ = false;
        return failure;
    }
    LogOnce("the hardware encoder did not take a frame", status);
    return status;
}

mfxStatus CIntel264Codec::Submit(mfxFrameSurface1* surface) {
    BitstreamSlot& slot = slots_[(cursor_ + busySlots_) % slots_.size()];
    mfxStatus status = MFX_ERR_NONE;
    for (int retries = 0;; ++retries) {
        status = encoder_->EncodeFrameAsync(nullptr, surface, &slot.bitstream, &slot.sync);
        if (status <= MFX_ERR_NONE || slot.sync != nullptr) break;
        if (retries >= busyRetryLimit_) {
            status = MFX_ERR_DEVICE_FAILED;
            break;
        }
        if (status == MFX_WRN_DEVICE_BUSY) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (status < MFX_ERR_NONE) {
        slot.sync = nullptr;
        return status;
    }
    if (slot.sync == nullptr) return MFX_ERR_MORE_DATA;
    ++busySlots_;
    return MFX_ERR_NONE;
}

mfxStatus CIntel264Codec::CollectOldest(const CodecParams* params) {
    BitstreamSlot& slot = slots_[cursor_];
    const mfxStatus status = session_->SyncOperation(slot.sync, kSyncTimeoutMs);
    if (status > MFX_ERR_NONE) {
        // Still running: the hardware may yet write into this slot, so it stays busy.
        LogOnce("a hardware-encoded frame is not ready after a minute", status);
        return status;
    }
    if (status == MFX_ERR_NONE) {
        Deliver(slot, params);
    } else {
        LogOnce("a hardware-encoded frame failed and is dropped", status);
        // Later frames keep the decoding times they would have had.
        ++outputCount_;
    }
    slot.bitstream.DataOffset = 0;
    slot.bitstream.DataLength = 0;
    slot.sync = nullptr;
    cursor_ = (cursor_ + 1) % slots_.size();
    --busySlots_;
    return status;
}

void CIntel264Codec::Deliver(BitstreamSlot& slot, const CodecParams* params) {
    mfxBitstream& bitstream = slot.bitstream;
    packet_.frameType = bitstream.FrameType & 0xF;
    packet_.pts = static_cast<int64_t>(bitstream.TimeStamp / 90);
    // The offset the first two frames borrow is estimated from whatever had gone in by then; when the first
    // frames come unevenly the estimate changes between them, and decoding times must still only rise.
    packet_.dts = std::max(DeriveDts(ptsRing_, inputCount_, outputCount_, fps_), lastDts_ + 1);
    lastDts_ = packet_.dts;
    ++outputCount_;

    const size_t offset = std::min(bitstream.DataOffset, bitstream.MaxLength);
    const size_t length = std::min<size_t>(bitstream.DataLength, bitstream.MaxLength - offset);
    const uint16_t frameType = bitstream.FrameType;
    ForEachNalUnit(bitstream.Data + offset, length, [&](uint8_t* unit, size_t size) {
        uint8_t& header = unit[3];
        header = RewriteNalRefIdc(header, frameType);
        DeliverNalUnit(unit, static_cast<int32_t>(size), 3, header & 0x1F, params);
    });
}

int32_t CIntel264Codec::Close(CodecParams* params) {
    if (!opened_) {
        Release();
        return 0;
    }
    opened_ = false;
    // A failed frame is reported but does not keep the others back; one still running after the wait ends
    // the collection, and the encoder is closed before its slots go.
    mfxStatus result = MFX_ERR_NONE;
    bool stuck = false;
    auto collect = [&]() {
        const mfxStatus status = CollectOldest(params);
        if (status > MFX_ERR_NONE) {
            result = MFX_ERR_GPU_HANG;
            stuck = true;
        } else if (status < MFX_ERR_NONE) {
            result = status;
        }
    };
    while (busySlots_ > 0 && !stuck) collect();
    // Frames held back for reordering come out when the encoder is asked with no surface. The bound only
    // guards against an encoder that never says it is empty.
    const size_t maxHeld = surfaces_.size() + slots_.size() + 16;
    for (size_t i = 0; i < maxHeld && !stuck; ++i) {
        const mfxStatus status = Submit(nullptr);
        if (status == MFX_ERR_MORE_DATA) break;
        if (status < MFX_ERR_NONE) {
            LogOnce("the hardware encoder could not hand over its last frames", status);
            result = status;
            break;
        }
        collect();
    }
    Release();
    return result;
}

void CIntel264Codec::LogOnce(const char* what, int status) {
    if (!errorLogged_) Log(LogLevel::kWarning, "encoder", "%s (Media SDK status %d)", what, status);
    errorLogged_ = true;
}
