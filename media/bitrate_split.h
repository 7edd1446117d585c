// How the configured total bit rate is shared between sound and picture when a live starts: a tenth goes to
// sound, never more than 128 kbit/s, and the rest to video. The main window fills the engine with it.
#pragma once

#include <cstdint>

struct LiveBitrates {
    uint32_t audioBitrate;  // bits per second
    int32_t videoBitrate;   // bits per second
};

// totalKbps is the Bitrate setting in kbit/s.
LiveBitrates SplitLiveBitrate(int32_t totalKbps);
