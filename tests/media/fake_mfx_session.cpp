#include "tests/media/fake_mfx_session.h"

#include <algorithm>

namespace {

uintptr_t g_nextSync = 1;

mfxSyncPoint NewSync() { return reinterpret_cast<mfxSyncPoint>(g_nextSync++); }

constexpr uint16_t kIdr = MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF | MFX_FRAMETYPE_IDR;
constexpr uint16_t kRefP = MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF;

bool WriteOutput(mfxBitstream* bitstream, const std::vector<uint8_t>& bytes) {
    const size_t at = static_cast<size_t>(bitstream->DataOffset) + bitstream->DataLength;
    if (at + bytes.size() > bitstream->MaxLength) return false;
    std::memcpy(bitstream->Data + at, bytes.data(), bytes.size());
    bitstream->DataLength += static_cast<mfxU32>(bytes.size());
    return true;
}

// An access unit delimiter, then one slice whose payload names the frame and the first pixels of its surface.
// The runtime marks every slice nal_ref_idc 3; the encoder is expected to correct that.
std::vector<uint8_t> MarkerFrame(const FakeOp& op, bool twoSlices) {
    const uint8_t type = (op.frameType & MFX_FRAMETYPE_IDR) ? 5 : 1;
    const mfxFrameData& d = op.surface->Data;
    std::vector<uint8_t> bytes = {0, 0, 0, 1, 0x09, 0xF0, 0, 0, 1, static_cast<uint8_t>(0x60 | type)};
    bytes.push_back(static_cast<uint8_t>(0x80 | (op.index >> 7)));
    bytes.push_back(static_cast<uint8_t>(0x80 | (op.index & 0x7F)));
    bytes.insert(bytes.end(), {d.Y[0], d.Y[1], d.UV[0], d.UV[1], 0xA5, 0x80});
    if (twoSlices) bytes.insert(bytes.end(), {0, 0, 0, 1, static_cast<uint8_t>(0x60 | type), 0xBB, 0x80});
    return bytes;
}

}  // namespace

FakeVideoEncoder::FakeVideoEncoder(FakeVideoRuntime* runtime, std::map<uintptr_t, FakeOp>* ops)
    : runtime_(runtime), ops_(ops) {
    ++runtime_->encodersOpen;
}

FakeVideoEncoder::~FakeVideoEncoder() {
    ReleaseX264();
    --runtime_->encodersOpen;
}

void FakeVideoEncoder::ReleaseX264() {
    if (x264_ != nullptr) x264_encoder_close(x264_);
    x264_ = nullptr;
}

mfxStatus FakeVideoEncoder::Query(mfxVideoParam* in, mfxVideoParam* out) {
    runtime_->queried = *in;
    for (int i = 0; i < in->NumExtParam; ++i) {
        if (in->ExtParam[i]->BufferId == MFX_EXTBUFF_CODING_OPTION3) {
            std::memcpy(&runtime_->queriedOption3, in->ExtParam[i], sizeof(mfxExtCodingOption3));
        }
    }
    if (in->mfx.RateControlMethod == runtime_->refuseMethod) return MFX_ERR_INVALID_VIDEO_PARAM;
    // A warning means the runtime corrected something: it has no 4:2:2 profile for NV12 input.
    if (runtime_->queryStatus == MFX_WRN_INCOMPATIBLE_VIDEO_PARAM) out->mfx.CodecProfile = MFX_PROFILE_AVC_HIGH;
    return runtime_->queryStatus;
}

mfxStatus FakeVideoEncoder::QueryIOSurf(mfxVideoParam*, mfxFrameAllocRequest* request) {
    request->NumFrameSuggested = runtime_->numFrameSuggested;
    request->NumFrameMin = runtime_->numFrameSuggested;
    return runtime_->querySurfStatus;
}

mfxStatus FakeVideoEncoder::Init(mfxVideoParam* params) {
    runtime_->initialized = *params;
    if (runtime_->initStatus < MFX_ERR_NONE) return runtime_->initStatus;
    width_ = params->mfx.FrameInfo.CropW;
    height_ = params->mfx.FrameInfo.CropH;
    if (runtime_->realH264) {
        x264_param_t p;
        x264_param_default_preset(&p, "ultrafast", "zerolatency");
        p.i_log_level = X264_LOG_NONE;
        p.i_width = width_;
        p.i_height = height_;
        p.i_csp = X264_CSP_NV12;
        p.i_fps_num = params->mfx.FrameInfo.FrameRateExtN;
        p.i_fps_den = 1;
        p.i_threads = 1;
        p.b_repeat_headers = 0;
        p.b_annexb = 1;
        p.rc.i_rc_method = X264_RC_CQP;
        p.rc.i_qp_constant = 20;
        x264_ = x264_encoder_open(&p);
        if (x264_ == nullptr) return MFX_ERR_UNSUPPORTED;
        x264_nal_t* nals = nullptr;
        int count = 0;
        x264_encoder_headers(x264_, &nals, &count);
        for (int i = 0; i < count; ++i) {
            std::vector<uint8_t> unit(nals[i].p_payload, nals[i].p_payload + nals[i].i_payload);
            if (nals[i].i_type == 7) runtime_->sps = unit;
            if (nals[i].i_type == 8) runtime_->pps = unit;
        }
    }
    initialized_ = true;
    return runtime_->initStatus;
}

mfxStatus FakeVideoEncoder::GetVideoParam(mfxVideoParam* params) {
    if (runtime_->getParamStatus < MFX_ERR_NONE) return runtime_->getParamStatus;
    params->mfx = runtime_->initialized.mfx;
    params->AsyncDepth = runtime_->asyncDepth;
    params->mfx.BufferSizeInKB = runtime_->bufferSizeInKB;
    for (int i = 0; i < params->NumExtParam; ++i) {
        if (params->ExtParam[i]->BufferId != MFX_EXTBUFF_CODING_OPTION_SPSPPS) continue;
        auto* record = reinterpret_cast<mfxExtCodingOptionSPSPPS*>(params->ExtParam[i]);
        if (record->SPSBufSize < runtime_->sps.size() || record->PPSBufSize < runtime_->pps.size()) {
            return MFX_ERR_NOT_ENOUGH_BUFFER;
        }
        std::memcpy(record->SPSBuffer, runtime_->sps.data(), runtime_->sps.size());
        std::memcpy(record->PPSBuffer, runtime_->pps.data(), runtime_->pps.size());
        record->SPSBufSize = static_cast<mfxU16>(runtime_->sps.size());
        record->PPSBufSize = static_cast<mfxU16>(runtime_->pps.size());
    }
    return runtime_->getParamStatus;
}

std::vector<uint8_t> FakeVideoEncoder::EncodeWithX264(mfxFrameSurface1* surface, uint16_t* frameType) {
    x264_picture_init(&picture_);
    picture_.img.i_csp = X264_CSP_NV12;
    picture_.img.i_plane = 2;
    picture_.img.plane[0] = surface->Data.Y;
    picture_.img.i_stride[0] = surface->Data.Pitch;
    picture_.img.plane[1] = surface->Data.UV;
    picture_.img.i_stride[1] = surface->Data.Pitch;
    picture_.i_pts = inputs_;
    x264_picture_t out;
    x264_nal_t* nals = nullptr;
    int count = 0;
    std::vector<uint8_t> bytes;
    if (x264_encoder_encode(x264_, &nals, &count, &picture_, &out) < 0) return bytes;
    for (int i = 0; i < count; ++i) bytes.insert(bytes.end(), nals[i].p_payload, nals[i].p_payload + nals[i].i_payload);
    *frameType = out.i_type == X264_TYPE_IDR  ? kIdr
                 : IS_X264_TYPE_I(out.i_type) ? static_cast<uint16_t>(MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF)
                                              : kRefP;
    return bytes;
}

mfxStatus FakeVideoEncoder::EncodeFrameAsync(mfxEncodeCtrl*, mfxFrameSurface1* surface, mfxBitstream* bitstream,
                                             mfxSyncPoint* sync) {
    ++runtime_->encodeCalls;
    if (!initialized_) {
        ++runtime_->callsAfterClose;
        return MFX_ERR_NOT_INITIALIZED;
    }
    if (surface != nullptr) {
        const int index = inputs_;
        auto busy = runtime_->busyBefore.find(index);
        if (busy != runtime_->busyBefore.end() && busy->second > 0) {
            --busy->second;
            ++runtime_->busyAnswers;
            return MFX_WRN_DEVICE_BUSY;
        }
        Held frame{surface, index, surface->Data.TimeStamp, 0, {}};
        if (runtime_->bFrames) {
            frame.frameType = index == 0 ? kIdr : index % 3 == 0 ? kRefP : static_cast<uint16_t>(MFX_FRAMETYPE_B);
        } else {
            frame.frameType = index % 50 == 0 ? kIdr : kRefP;
        }
        if (runtime_->realH264) frame.bytes = EncodeWithX264(surface, &frame.frameType);
        ++inputs_;
        ++surface->Data.Locked;
        if (runtime_->bFrames) {
            if (frame.frameType & MFX_FRAMETYPE_B) {
                held_.push_back(frame);
            } else {
                // A reference frame goes out ahead of the B frames that lean on it.
                ready_.push_back(frame);
                for (Held& b : held_) ready_.push_back(b);
                held_.clear();
            }
        } else {
            held_.push_back(frame);
            while (held_.size() > static_cast<size_t>(runtime_->plainDelay)) {
                ready_.push_back(held_.front());
                held_.pop_front();
            }
        }
    } else {
        for (Held& frame : held_) {
            // A B frame with nothing after it to lean on is coded as a P frame.
            if (frame.frameType & MFX_FRAMETYPE_B) frame.frameType = kRefP;
            ready_.push_back(frame);
        }
        held_.clear();
    }
    if (ready_.empty()) return MFX_ERR_MORE_DATA;
    Held frame = ready_.front();
    ready_.pop_front();
    *sync = NewSync();
    (*ops_)[reinterpret_cast<uintptr_t>(*sync)] =
        FakeOp{frame.surface, bitstream, frame.index, frame.timestamp, frame.frameType, std::move(frame.bytes)};
    return MFX_ERR_NONE;
}

mfxStatus FakeVideoEncoder::Close() {
    if (!initialized_) return MFX_ERR_NOT_INITIALIZED;
    initialized_ = false;
    ReleaseX264();
    return MFX_ERR_NONE;
}

mfxStatus FakeVideoSession::Init(mfxIMPL implementation, mfxVersion*) {
    runtime_->initCalls.push_back(implementation);
    Close();
    const mfxStatus status = implementation == MFX_IMPL_HARDWARE_ANY ? runtime_->hardwareAnyInit
                             : implementation == MFX_IMPL_HARDWARE   ? runtime_->hardwareInit
                                                                     : MFX_ERR_UNSUPPORTED;
    if (status >= MFX_ERR_NONE) {
        open_ = true;
        ++runtime_->sessionsOpen;
    }
    return status;
}

mfxStatus FakeVideoSession::Close() {
    if (!open_) return MFX_ERR_INVALID_HANDLE;
    if (runtime_->encodersOpen > 0) ++runtime_->sessionClosedUnderEncoder;
    open_ = false;
    ops_.clear();
    --runtime_->sessionsOpen;
    return MFX_ERR_NONE;
}

mfxStatus FakeVideoSession::SyncOperation(mfxSyncPoint sync, mfxU32) {
    ++runtime_->syncCalls;
    auto it = ops_.find(reinterpret_cast<uintptr_t>(sync));
    if (!open_ || it == ops_.end()) return MFX_ERR_NULL_PTR;
    FakeOp& op = it->second;
    auto scripted = runtime_->syncResult.find(op.index);
    if (scripted != runtime_->syncResult.end() && scripted->second != MFX_ERR_NONE) {
        const mfxStatus status = scripted->second;
        // Still running answers once; a failure ends the operation.
        runtime_->syncResult.erase(scripted);
        if (status > MFX_ERR_NONE) return status;
        if (op.surface != nullptr) --op.surface->Data.Locked;
        ops_.erase(it);
        return status;
    }
    const std::vector<uint8_t> bytes = runtime_->realH264 ? op.bytes : MarkerFrame(op, runtime_->twoSlices);
    if (!WriteOutput(op.bitstream, bytes)) return MFX_ERR_NOT_ENOUGH_BUFFER;
    op.bitstream->TimeStamp = op.timestamp;
    op.bitstream->FrameType = op.frameType;
    --op.surface->Data.Locked;
    runtime_->outputOrder.push_back(op.index);
    ops_.erase(it);
    return MFX_ERR_NONE;
}

std::unique_ptr<IMfxVideoEncoder> FakeVideoSession::CreateEncoder() {
    return std::make_unique<FakeVideoEncoder>(runtime_, &ops_);
}

namespace {

class FakeAudioEncoder : public IMfxAudioEncoder {
public:
    FakeAudioEncoder(FakeAudioRuntime* runtime, std::map<uintptr_t, FakeAudioSession::Op>* ops)
        : runtime_(runtime), ops_(ops) {
        ++runtime_->encodersOpen;
    }
    ~FakeAudioEncoder() override { --runtime_->encodersOpen; }

    mfxStatus Query(mfxAudioParam* in, mfxAudioParam*) override {
        runtime_->queried = *in;
        return runtime_->queryStatus;
    }
    mfxStatus QueryIOSize(mfxAudioParam*, mfxAudioAllocRequest* request) override {
        request->SuggestedInputSize = runtime_->inputSize;
        request->SuggestedOutputSize = runtime_->outputSize;
        return runtime_->queryIOSizeStatus;
    }
    mfxStatus Init(mfxAudioParam*) override {
        initialized_ = runtime_->initStatus >= MFX_ERR_NONE;
        return runtime_->initStatus;
    }
    mfxStatus EncodeFrameAsync(mfxAudioFrame* frame, mfxBitstream* bitstream, mfxSyncPoint* sync) override {
        ++runtime_->encodeCalls;
        if (!initialized_) {
            ++runtime_->callsAfterClose;
            return MFX_ERR_NOT_INITIALIZED;
        }
        if (frame != nullptr) {
            if (frame->DataLength != runtime_->inputSize) return MFX_ERR_UNDEFINED_BEHAVIOR;
            held_.push_back({index_++, frame->TimeStamp, {frame->Data, frame->Data + 4}});
            if (held_.size() <= static_cast<size_t>(runtime_->delay)) return MFX_ERR_MORE_DATA;
        } else if (held_.empty()) {
            return MFX_ERR_MORE_DATA;
        }
        const Held h = held_.front();
        held_.pop_front();
        *sync = NewSync();
        (*ops_)[reinterpret_cast<uintptr_t>(*sync)] = FakeAudioSession::Op{bitstream, Frame(h), h.timestamp};
        return MFX_ERR_NONE;
    }
    mfxStatus Close() override {
        initialized_ = false;
        return MFX_ERR_NONE;
    }

private:
    struct Held {
        int index;
        uint64_t timestamp;
        std::vector<uint8_t> pcm;
    };

    // ADTS header (AAC LC, 44.1 kHz, stereo), then the payload: a marker, the frame index and its first PCM bytes.
    std::vector<uint8_t> Frame(const Held& h) const {
        const size_t headerBytes = runtime_->crc ? 9 : 7;
        const size_t length = headerBytes + FakeAudioRuntime::kPayloadBytes;
        std::vector<uint8_t> bytes = {0xFF,
                                      static_cast<uint8_t>(runtime_->crc ? 0xF0 : 0xF1),
                                      0x50,
                                      static_cast<uint8_t>(0x80 | (length >> 11)),
                                      static_cast<uint8_t>((length >> 3) & 0xFF),
                                      static_cast<uint8_t>(((length & 7) << 5) | 0x1F),
                                      0xFC};
        if (runtime_->crc) bytes.insert(bytes.end(), {0x12, 0x34});
        bytes.insert(bytes.end(), {0xAC, static_cast<uint8_t>(h.index)});
        bytes.insert(bytes.end(), h.pcm.begin(), h.pcm.end());
        bytes.resize(length, 0x5A);
        return bytes;
    }

    FakeAudioRuntime* runtime_;
    std::map<uintptr_t, FakeAudioSession::Op>* ops_;
    bool initialized_ = false;
    int index_ = 0;
    std::deque<Held> held_;
};

}  // namespace

mfxStatus FakeAudioSession::Init(mfxIMPL implementation, mfxVersion*) {
    runtime_->initCalls.push_back(implementation);
    Close();
    open_ = true;
    ++runtime_->sessionsOpen;
    return MFX_ERR_NONE;
}

mfxStatus FakeAudioSession::Close() {
    if (!open_) return MFX_ERR_INVALID_HANDLE;
    open_ = false;
    ops_.clear();
    --runtime_->sessionsOpen;
    return MFX_ERR_NONE;
}

mfxStatus FakeAudioSession::SyncOperation(mfxSyncPoint sync, mfxU32) {
    auto it = ops_.find(reinterpret_cast<uintptr_t>(sync));
    if (!open_ || it == ops_.end()) return MFX_ERR_NULL_PTR;
    if (!WriteOutput(it->second.bitstream, it->second.bytes)) return MFX_ERR_NOT_ENOUGH_BUFFER;
    it->second.bitstream->TimeStamp = it->second.timestamp;
    ops_.erase(it);
    return MFX_ERR_NONE;
}

std::unique_ptr<IMfxAudioEncoder> FakeAudioSession::CreateEncoder() {
    return std::make_unique<FakeAudioEncoder>(runtime_, &ops_);
}
