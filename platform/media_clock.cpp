#include "platform/media_clock.h"

#include <ctime>

namespace {

bool ReadMonotonic(timespec* ts) { return clock_gettime(CLOCK_MONOTONIC, ts) == 0; }

}  // namespace

int64_t GetMediaTimeMs() {
    timespec ts{};
    if (!ReadMonotonic(&ts)) return 0;
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int64_t GetMediaTime100ns() {
    timespec ts{};
    if (!ReadMonotonic(&ts)) return 0;
    return static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

uint32_t TimeGetTime() { return static_cast<uint32_t>(GetMediaTimeMs()); }

int64_t UnwrapMediaTimeMs(uint32_t stamp, int64_t nowMs) {
    const auto ahead = static_cast<int32_t>(stamp - static_cast<uint32_t>(nowMs));
    return nowMs + ahead;
}
