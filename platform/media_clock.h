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
