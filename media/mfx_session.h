// The few Media SDK calls the hardware encoders make, behind interfaces of our own: the real ones go to the
// SDK's dispatcher (libmfx), tests put an encoder of their own in its place. A session hands out the encoder
// that works on it; the encoder must be destroyed before its session.
#pragma once

#include <mfxastructures.h>
#include <mfxstructures.h>

#include <memory>

class IMfxVideoEncoder {
public:
    virtual ~IMfxVideoEncoder() = default;
    virtual mfxStatus Query(mfxVideoParam* in, mfxVideoParam* out) = 0;
    virtual mfxStatus QueryIOSurf(mfxVideoParam* params, mfxFrameAllocRequest* request) = 0;
    virtual mfxStatus Init(mfxVideoParam* params) = 0;
    virtual mfxStatus GetVideoParam(mfxVideoParam* params) = 0;
    // surface null asks for the frames the encoder still holds.
    virtual mfxStatus EncodeFrameAsync(mfxEncodeCtrl* control, mfxFrameSurface1* surface, mfxBitstream* bitstream,
                                       mfxSyncPoint* sync) = 0;
    virtual mfxStatus Close() = 0;
};

class IMfxVideoSession {
public:
    virtual ~IMfxVideoSession() = default;
    virtual mfxStatus Init(mfxIMPL implementation, mfxVersion* version) = 0;
    virtual mfxStatus Close() = 0;
    virtual mfxStatus SyncOperation(mfxSyncPoint sync, mfxU32 waitMs) = 0;
    // An encoder on this session; call only after a successful Init.
    virtual std::unique_ptr<IMfxVideoEncoder> CreateEncoder() = 0;
};

class IMfxAudioEncoder {
public:
    virtual ~IMfxAudioEncoder() = default;
    virtual mfxStatus Query(mfxAudioParam* in, mfxAudioParam* out) = 0;
    virtual mfxStatus QueryIOSize(mfxAudioParam* params, mfxAudioAllocRequest* request) = 0;
    virtual mfxStatus Init(mfxAudioParam* params) = 0;
    // frame null asks for the frames the encoder still holds.
    virtual mfxStatus EncodeFrameAsync(mfxAudioFrame* frame, mfxBitstream* bitstream, mfxSyncPoint* sync) = 0;
    virtual mfxStatus Close() = 0;
};

class IMfxAudioSession {
public:
    virtual ~IMfxAudioSession() = default;
    virtual mfxStatus Init(mfxIMPL implementation, mfxVersion* version) = 0;
    virtual mfxStatus Close() = 0;
    virtual mfxStatus SyncOperation(mfxSyncPoint sync, mfxU32 waitMs) = 0;
    // An encoder on this session, whether or not Init succeeded (its calls then fail).
    virtual std::unique_ptr<IMfxAudioEncoder> CreateEncoder() = 0;
};

// Sessions on the SDK's dispatcher. On Linux the video session also gives the runtime a VA display on the
// first Intel render node, without which it cannot encode; Init fails when there is none.
std::unique_ptr<IMfxVideoSession> CreateMfxVideoSession();
std::unique_ptr<IMfxAudioSession> CreateMfxAudioSession();
