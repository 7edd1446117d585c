// The few FFmpeg helpers that every SourceKit device kind shares, with the owners of its handles.
// Internal to the library.
#pragma once

#include <cstdint>

#include "platform/ffmpeg/av_owners.h"

// FFmpeg's registration and network start-up, done once per process.
void EnsureFfmpegDevicesRegistered();
void EnsureFfmpegNetworkReady();

// A timestamp in a stream's time base as milliseconds, rounded to nearest; "no time" stays
// AV_NOPTS_VALUE (INT64_MIN), which every pacing check treats as long overdue.
inline int64_t ToMilliseconds(int64_t value, AVRational timeBase) {
    return av_rescale_q_rnd(value, timeBase, AVRational{1, 1000},
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}
