#include "media/mfx_session.h"

#include <fcntl.h>
#include <mfxaudio++.h>
#include <mfxvideo++.h>
#include <unistd.h>
#include <va/va.h>
#include <va/va_drm.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A VA display on a DRM render node, with the node's descriptor; the runtime encodes through it.
class VaDisplay {
public:
    VaDisplay() = default;
    VaDisplay(const VaDisplay&) = delete;
    VaDisplay& operator=(const VaDisplay&) = delete;
    ~VaDisplay() { Reset(); }

    // The first render node driven by an Intel VA driver; false when there is none.
    bool OpenIntelRenderNode() {
        Reset();
        for (int node = 128; node < 192; ++node) {
            const std::string path = "/dev/dri/renderD" + std::to_string(node);
            fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
            if (fd_ < 0) continue;
            display_ = vaGetDisplayDRM(fd_);
            if (display_ != nullptr) {
                // libva prints its driver search on stdout otherwise.
                vaSetInfoCallback(display_, nullptr, nullptr);
                vaSetErrorCallback(display_, nullptr, nullptr);
                int major = 0;
                int minor = 0;
                if (vaInitialize(display_, &major, &minor) == VA_STATUS_SUCCESS) {
                    initialized_ = true;
                    const char* vendor = vaQueryVendorString(display_);
                    if (vendor != nullptr && std::strstr(vendor, "Intel") != nullptr) return true;
                }
            }
            Reset();
        }
        return false;
    }

    VADisplay display() const { return display_; }

    void Reset() {
        if (display_ != nullptr && initialized_) vaTerminate(display_);
        display_ = nullptr;
        initialized_ = false;
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    VADisplay display_ = nullptr;
    bool initialized_ = false;
};

class DispatcherVideoEncoder : public IMfxVideoEncoder {
public:
    explicit DispatcherVideoEncoder(mfxSession session) : encode_(session) {}

    mfxStatus Query(mfxVideoParam* in, mfxVideoParam* out) override { return encode_.Query(in, out); }
    mfxStatus QueryIOSurf(mfxVideoParam* params, mfxFrameAllocRequest* request) override {
        return encode_.QueryIOSurf(params, request);
    }
    mfxStatus Init(mfxVideoParam* params) override { return encode_.Init(params); }
    mfxStatus GetVideoParam(mfxVideoParam* params) override { return encode_.GetVideoParam(params); }
    mfxStatus EncodeFrameAsync(mfxEncodeCtrl* control, mfxFrameSurface1* surface, mfxBitstream* bitstream,
                               mfxSyncPoint* sync) override {
        return encode_.EncodeFrameAsync(control, surface, bitstream, sync);
    }
    mfxStatus Close() override { return encode_.Close(); }

private:
    MFXVideoENCODE encode_;  // closes itself when destroyed
};

class DispatcherVideoSession : public IMfxVideoSession {
public:
    ~DispatcherVideoSession() override { Close(); }

    mfxStatus Init(mfxIMPL implementation, mfxVersion* version) override {
        Close();
        const mfxStatus status = session_.Init(implementation, version);
        if (status < MFX_ERR_NONE) return status;
        open_ = true;
        if (!va_.OpenIntelRenderNode()) {
            Close();
            return MFX_ERR_DEVICE_FAILED;
        }
        const mfxStatus handle = session_.SetHandle(MFX_HANDLE_VA_DISPLAY, va_.display());
        if (handle < MFX_ERR_NONE) {
            Close();
            return handle;
        }
        return status;
    }

    mfxStatus Close() override {
        mfxStatus status = MFX_ERR_NONE;
        if (open_) status = session_.Close();
        open_ = false;
        va_.Reset();
        return status;
    }

    mfxStatus SyncOperation(mfxSyncPoint sync, mfxU32 waitMs) override { return session_.SyncOperation(sync, waitMs); }

    std::unique_ptr<IMfxVideoEncoder> CreateEncoder() override {
        return std::make_unique<DispatcherVideoEncoder>(static_cast<mfxSession>(session_));
    }

private:
    VaDisplay va_;  // outlives the session that uses it
    MFXVideoSession session_;
    bool open_ = false;
};

class DispatcherAudioEncoder : public IMfxAudioEncoder {
public:
    explicit DispatcherAudioEncoder(mfxSession session) : encode_(session) {}

    mfxStatus Query(mfxAudioParam* in, mfxAudioParam* out) override { return encode_.Query(in, out); }
    mfxStatus QueryIOSize(mfxAudioParam* params, mfxAudioAllocRequest* request) override {
        return encode_.QueryIOSize(params, request);
    }
    mfxStatus Init(mfxAudioParam* params) override { return encode_.Init(params); }
    mfxStatus EncodeFrameAsync(mfxAudioFrame* frame, mfxBitstream* bitstream, mfxSyncPoint* sync) override {
        return encode_.EncodeFrameAsync(frame, bitstream, sync);
    }
    mfxStatus Close() override { return encode_.Close(); }

private:
    MFXAudioENCODE encode_;
};

class DispatcherAudioSession : public IMfxAudioSession {
public:
    ~DispatcherAudioSession() override { Close(); }

    mfxStatus Init(mfxIMPL implementation, mfxVersion* version) override {
        Close();
        const mfxStatus status = session_.Init(implementation, version);
        open_ = status >= MFX_ERR_NONE;
        return status;
    }

    mfxStatus Close() override {
        mfxStatus status = MFX_ERR_NONE;
        if (open_) status = session_.Close();
        open_ = false;
        return status;
    }

    mfxStatus SyncOperation(mfxSyncPoint sync, mfxU32 waitMs) override { return session_.SyncOperation(sync, waitMs); }

    std::unique_ptr<IMfxAudioEncoder> CreateEncoder() override {
        return std::make_unique<DispatcherAudioEncoder>(static_cast<mfxSession>(session_));
    }

private:
    MFXAudioSession session_;
    bool open_ = false;
};

}  // namespace

std::unique_ptr<IMfxVideoSession> CreateMfxVideoSession() { return std::make_unique<DispatcherVideoSession>(); }

std::unique_ptr<IMfxAudioSession> CreateMfxAudioSession() { return std::make_unique<DispatcherAudioSession>(); }
