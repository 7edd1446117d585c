#include "media/codec_factory.h"

#include "media/faac_codec.h"
#include "media/intel_aac_codec.h"
#include "media/intel_h264_codec.h"
#include "media/mfx_session.h"
#include "media/x264_codec.h"

std::unique_ptr<CBaseCodec> CreateVideoCodec(bool hardware) {
    if (hardware) return std::make_unique<CIntel264Codec>();
    return std::make_unique<CLibx264Codec>();
}

std::unique_ptr<CBaseCodec> CreateAudioCodec(bool hardware) {
    if (hardware) return std::make_unique<CIntelAACCodec>();
    return std::make_unique<CLibfaacCodec>();
}

std::unique_ptr<CBaseCodec> CreateCodec(int32_t mediaKind, bool hardware) {
    if (mediaKind == MEDIA_VIDEO) return CreateVideoCodec(hardware);
    if (mediaKind == MEDIA_AUDIO) return CreateAudioCodec(hardware);
    return nullptr;
}

bool HardwareEncodingAvailable() {
    // The same implementations and version the H.264 encoder asks for.
    std::unique_ptr<IMfxVideoSession> session = CreateMfxVideoSession();
    mfxVersion version{};
    version.Major = 1;
    version.Minor = 0;
    mfxStatus status = session->Init(MFX_IMPL_HARDWARE_ANY, &version);
    if (status < MFX_ERR_NONE) status = session->Init(MFX_IMPL_HARDWARE, &version);
    if (status < MFX_ERR_NONE) return false;
    session->Close();
    return true;
}
