#include "media/bitrate_split.h"

#include <algorithm>
#include <limits>

LiveBitrates SplitLiveBitrate(int32_t totalKbps) {
    // A setting below zero can only come from a damaged file; share nothing rather than wrap around.
    const int64_t total = std::max<int32_t>(totalKbps, 0);
    const int64_t audioKbps = std::min<int64_t>(total / 10, 128);
    const int64_t video = std::clamp<int64_t>((total - audioKbps) * 1000, 0, std::numeric_limits<int32_t>::max());
    return {static_cast<uint32_t>(audioKbps * 1000), static_cast<int32_t>(video)};
}
