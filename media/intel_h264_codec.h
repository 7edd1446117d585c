// The hardware H.264 encoder over the Media SDK: YUY2 frames go into a pool of system-memory NV12 surfaces and
// are encoded asynchronously into a ring of bitstream slots as deep as the SDK asks; a slot is collected only
// when a surface or slot is needed, or at Close. Delivered frames get decoding times derived here and their
// slices' nal_ref_idc corrected. Encode runs on the composition thread, the rest on the main window's thread.
#pragma once

#include <mfxstructures.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "media/codec.h"
#include "media/intel_codec_rules.h"
#include "media/mfx_session.h"

class CIntel264Codec : public CH264Codec {
public:
    // On the SDK's dispatcher.
    CIntel264Codec();
    explicit CIntel264Codec(std::unique_ptr<IMfxVideoSession> session);
    ~CIntel264Codec() override;

    // -1 when no hardware implementation answers; otherwise the SDK's negative status for a refused parameter
    // set, surface request, initialisation or parameter read, or -4 when the surfaces cannot be allocated.
    // A refused open leaves an encoder whose Encode and Close do nothing. A second call replaces the first.
    int32_t Initialize(CodecParams* params, int32_t method, int32_t quality) override;
    // Variable bit rate at the middle quality level with two reference frames.
    int32_t Open(CodecParams* params) override;
    // Negative when an earlier frame collected for its slot or surface failed (that frame is lost, this one
    // still goes in), or when this frame is dropped: a frame before it is still running after a minute, or the
    // encoder refused it, stayed busy, or holds every surface without output. The next frame is tried as usual.
    int32_t Encode(CodecParams* params) override;
    // Delivers every frame still in a slot or held inside the encoder, then releases the encoder. Returns the
    // SDK's status when a frame could not be collected (the others are still delivered).
    int32_t Close(CodecParams* params) override;

    bool IsOpen() const { return opened_; }
    // The parameters the encoder was initialised with, as the SDK corrected them.
    const mfxVideoParam& OpenedParams() const { return param_; }
    size_t SurfaceCount() const { return surfaces_.size(); }
    size_t SlotCount() const { return slots_.size(); }

    // How many device-busy answers a frame may get before it is dropped (each costs a millisecond).
    void SetBusyRetryLimit(int retries) { busyRetryLimit_ = retries; }

    static constexpr uint32_t kSyncTimeoutMs = 60000;

private:
    struct BitstreamSlot {
        mfxBitstream bitstream{};
        std::unique_ptr<uint8_t[]> buffer;
        mfxSyncPoint sync = nullptr;
    };

    int32_t Start(CodecParams* params, int32_t method, int32_t quality, uint16_t numRefFrame);
    int32_t Refuse(mfxStatus status, const char* step);
    void Release();
    mfxFrameSurface1* FreeSurface();
    // Submits one frame (surface null: asks for held frames) into the next free slot, retrying while busy.
    mfxStatus Submit(mfxFrameSurface1* surface);
    // Waits for the oldest busy slot and delivers it: the wait's status. A failed frame's slot is freed; a
    // frame still running (positive status) keeps its slot.
    mfxStatus CollectOldest(const CodecParams* params);
    void Deliver(BitstreamSlot& slot, const CodecParams* params);
    // One line per run of failures.
    void LogOnce(const char* what, int status);

    std::unique_ptr<IMfxVideoSession> session_;
    bool sessionOpen_ = false;
    std::unique_ptr<IMfxVideoEncoder> encoder_;  // destroyed before the session it works on
    mfxVideoParam param_{};
    Intel264ExtBuffers ext_{};
    bool opened_ = false;
    bool refusalLogged_ = false;
    bool errorLogged_ = false;
    int busyRetryLimit_ = 60000;

    std::vector<mfxFrameSurface1> surfaces_;
    std::unique_ptr<uint8_t[]> pictures_;
    std::vector<BitstreamSlot> slots_;
    size_t cursor_ = 0;  // oldest busy slot; slots fill in ring order after it
    size_t busySlots_ = 0;

    mfxExtCodingOptionSPSPPS spsPps_{};

    int64_t ptsRing_[kPtsRingSize] = {};
    uint64_t inputCount_ = 0;
    uint64_t outputCount_ = 0;
    int64_t lastDts_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t fps_ = 0;
};
