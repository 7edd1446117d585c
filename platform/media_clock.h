// The program's clocks. Every media timestamp (video pts, sound chunks) comes from the media clock
// so that video and audio share one timeline; pacing loops use the 32-bit millisecond tick.
// All functions are thread-safe and never block.
#pragma once

#include <cstdint>

// Monotonic milliseconds since an arbitrary origin; 0 when the clock cannot be read.
int64_t GetMediaTimeMs();

// The same clock in 100-nanosecond units (the unit of sound device timestamps).
int64_t GetMediaTime100ns();

// Monotonic milliseconds truncated to 32 bits: wraps after ~49.7 days, so compare differences.
uint32_t TimeGetTime();

// The full media-clock time of a 32-bit millisecond stamp (the low 32 bits of GetMediaTimeMs, as
// SourceKit hands them out) taken within about 24 days of nowMs, before or after it. Keeps stamps
// comparable with the 64-bit clock after the 32-bit value wraps (every ~49.7 days of uptime).
int64_t UnwrapMediaTimeMs(uint32_t stamp, int64_t nowMs);
