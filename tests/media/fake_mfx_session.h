// Media SDK sessions for tests, behaving as the hardware runtime does at the calls the encoders make: frames are
// taken asynchronously, surfaces stay locked until their frame has been waited for, output is written into the
// bitstream only when it is waited for, frames can be held back for reordering, the device can answer busy. The
// video encoder can produce real H.264 with libx264 from the surface pixels, so the output can be decoded.
#pragma once

#include <mfxstructures.h>

#include <cstdint>
// x264.h needs the fixed-width integer types declared first.
#include <x264.h>

#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "media/mfx_session.h"

// What the fake video runtime answers, and what it saw. Tests own it; sessions and encoders point to it.
struct FakeVideoRuntime {
    // Answers.
    mfxStatus hardwareAnyInit = MFX_ERR_NONE;
    mfxStatus hardwareInit = MFX_ERR_NONE;
    mfxStatus queryStatus = MFX_ERR_NONE;
    int refuseMethod = -1;  // Query refuses this rate-control method with MFX_ERR_INVALID_VIDEO_PARAM
    mfxStatus querySurfStatus = MFX_ERR_NONE;
    mfxStatus initStatus = MFX_ERR_NONE;
    mfxStatus getParamStatus = MFX_ERR_NONE;
    uint16_t numFrameSuggested = 4;
    uint16_t asyncDepth = 2;
    uint16_t bufferSizeInKB = 64;
    // Frame types by input index; true: the GOP is I B B P B B P ..., held back two frames like a real encoder.
    bool bFrames = false;
    // Held-back frames with no reordering: output lags input by this many frames.
    int plainDelay = 0;
    // Device-busy answers before the frame with this input index is taken.
    std::map<int, int> busyBefore;
    // Wait results for the frame with this input index; it counts as failed unless the status is 0 or positive.
    std::map<int, mfxStatus> syncResult;
    // Encode the surface pixels with libx264 instead of writing marker slices.
    bool realH264 = false;
    // A second slice behind a four-byte start code in every marker frame.
    bool twoSlices = false;

    // What happened.
    std::vector<mfxIMPL> initCalls;
    int sessionsOpen = 0;
    int encodersOpen = 0;
    int encodeCalls = 0;
    int busyAnswers = 0;
    int syncCalls = 0;
    int callsAfterClose = 0;
    int sessionClosedUnderEncoder = 0;
    mfxVideoParam queried{};
    mfxVideoParam initialized{};
    mfxExtCodingOption3 queriedOption3{};
    std::vector<int> outputOrder;  // input indices in the order the frames were written out
    std::vector<uint8_t> sps{0, 0, 0, 1, 0x67, 0x64, 0x00, 0x28, 0xAC};
    std::vector<uint8_t> pps{0, 0, 0, 1, 0x68, 0xEE, 0x3C, 0x80};

    // The marker payload of a frame: its input index, then the first luma and chroma bytes of its surface.
    static constexpr size_t kMarkerBytes = 8;
};

// One frame handed out with a sync point and not yet waited for.
struct FakeOp {
    mfxFrameSurface1* surface;
    mfxBitstream* bitstream;
    int index;
    uint64_t timestamp;
    uint16_t frameType;
    std::vector<uint8_t> bytes;
};

class FakeVideoEncoder : public IMfxVideoEncoder {
public:
    explicit FakeVideoEncoder(FakeVideoRuntime* runtime, std::map<uintptr_t, FakeOp>* ops);
    ~FakeVideoEncoder() override;

    mfxStatus Query(mfxVideoParam* in, mfxVideoParam* out) override;
    mfxStatus QueryIOSurf(mfxVideoParam* params, mfxFrameAllocRequest* request) override;
    mfxStatus Init(mfxVideoParam* params) override;
    mfxStatus GetVideoParam(mfxVideoParam* params) override;
    mfxStatus EncodeFrameAsync(mfxEncodeCtrl* control, mfxFrameSurface1* surface, mfxBitstream* bitstream,
                               mfxSyncPoint* sync) override;
    mfxStatus Close() override;

private:
    struct Held {
        mfxFrameSurface1* surface;
        int index;
        uint64_t timestamp;
        uint16_t frameType;
        std::vector<uint8_t> bytes;  // real H.264 for this frame, when encoded with libx264
    };
    void ReleaseX264();
    std::vector<uint8_t> EncodeWithX264(mfxFrameSurface1* surface, uint16_t* frameType);

    FakeVideoRuntime* runtime_;
    std::map<uintptr_t, FakeOp>* ops_;
    bool initialized_ = false;
    int inputs_ = 0;
    std::deque<Held> held_;   // taken, not yet ready to come out
    std::deque<Held> ready_;  // in decoding order, one comes out per call
    x264_t* x264_ = nullptr;
    x264_picture_t picture_{};
    int width_ = 0;
    int height_ = 0;
};

class FakeVideoSession : public IMfxVideoSession {
public:
    explicit FakeVideoSession(FakeVideoRuntime* runtime) : runtime_(runtime) {}
    ~FakeVideoSession() override { Close(); }

    mfxStatus Init(mfxIMPL implementation, mfxVersion* version) override;
    mfxStatus Close() override;
    mfxStatus SyncOperation(mfxSyncPoint sync, mfxU32 waitMs) override;
    std::unique_ptr<IMfxVideoEncoder> CreateEncoder() override;

private:
    FakeVideoRuntime* runtime_;
    bool open_ = false;
    std::map<uintptr_t, FakeOp> ops_;
};

// The fake audio runtime: it takes PCM frames of inputSize bytes and writes, per frame, an ADTS header of 7 or 9
// bytes followed by a payload naming the frame and its first PCM bytes, holding `delay` frames back.
struct FakeAudioRuntime {
    mfxStatus queryStatus = MFX_ERR_NONE;
    mfxStatus queryIOSizeStatus = MFX_ERR_NONE;
    mfxStatus initStatus = MFX_ERR_NONE;
    uint32_t inputSize = 4096;
    uint32_t outputSize = 768;
    int delay = 1;
    bool crc = false;  // ADTS header with a CRC (9 bytes)

    std::vector<mfxIMPL> initCalls;
    mfxAudioParam queried{};
    int encodeCalls = 0;
    int callsAfterClose = 0;
    int sessionsOpen = 0;
    int encodersOpen = 0;

    static constexpr size_t kPayloadBytes = 12;
};

class FakeAudioSession : public IMfxAudioSession {
public:
    explicit FakeAudioSession(FakeAudioRuntime* runtime) : runtime_(runtime) {}
    ~FakeAudioSession() override { Close(); }

    mfxStatus Init(mfxIMPL implementation, mfxVersion* version) override;
    mfxStatus Close() override;
    mfxStatus SyncOperation(mfxSyncPoint sync, mfxU32 waitMs) override;
    std::unique_ptr<IMfxAudioEncoder> CreateEncoder() override;

    struct Op {
        mfxBitstream* bitstream;
        std::vector<uint8_t> bytes;
        uint64_t timestamp;
    };

private:
    FakeAudioRuntime* runtime_;
    bool open_ = false;
    std::map<uintptr_t, Op> ops_;
};
