// Chooses the encoders of a live: the hardware ones over the Media SDK when the hardware-encoding setting is
// on, else libx264 and the AAC encoder. Called by the live engine at start, and once at program start-up to
// find the default of that setting.
#pragma once

#include <cstdint>
#include <memory>

#include "media/codec.h"

std::unique_ptr<CBaseCodec> CreateVideoCodec(bool hardware);
std::unique_ptr<CBaseCodec> CreateAudioCodec(bool hardware);
// Either of the above by MEDIA_VIDEO or MEDIA_AUDIO; null for any other kind.
std::unique_ptr<CBaseCodec> CreateCodec(int32_t mediaKind, bool hardware);

// Whether the Media SDK dispatcher finds a hardware implementation on this machine that it can encode with.
// Opens a session and closes it at once; takes a few milliseconds where there is none.
bool HardwareEncodingAvailable();
