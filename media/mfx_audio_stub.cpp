// The Linux Media SDK dispatcher declares the audio encoder calls in its headers but does not export them
// (it refuses audio sessions outright, and no audio library for it is packaged). These stand in for them
// and answer as a machine without the audio library would, so the hardware AAC encoder links and stays
// closed.
#include <mfxaudio.h>

extern "C" {

mfxStatus MFX_CDECL MFXAudioCORE_SyncOperation(mfxSession, mfxSyncPoint, mfxU32) { return MFX_ERR_UNSUPPORTED; }

mfxStatus MFX_CDECL MFXAudioENCODE_Query(mfxSession, mfxAudioParam*, mfxAudioParam*) { return MFX_ERR_UNSUPPORTED; }

mfxStatus MFX_CDECL MFXAudioENCODE_QueryIOSize(mfxSession, mfxAudioParam*, mfxAudioAllocRequest*) {
    return MFX_ERR_UNSUPPORTED;
}

mfxStatus MFX_CDECL MFXAudioENCODE_Init(mfxSession, mfxAudioParam*) { return MFX_ERR_UNSUPPORTED; }

mfxStatus MFX_CDECL MFXAudioENCODE_Reset(mfxSession, mfxAudioParam*) { return MFX_ERR_UNSUPPORTED; }

mfxStatus MFX_CDECL MFXAudioENCODE_Close(mfxSession) { return MFX_ERR_UNSUPPORTED; }

mfxStatus MFX_CDECL MFXAudioENCODE_GetAudioParam(mfxSession, mfxAudioParam*) { return MFX_ERR_UNSUPPORTED; }

mfxStatus MFX_CDECL MFXAudioENCODE_EncodeFrameAsync(mfxSession, mfxAudioFrame*, mfxBitstream*, mfxSyncPoint*) {
    return MFX_ERR_UNSUPPORTED;
}

}  // extern "C"
