// CGifLayer (layer kind 9): a GIF whose frames are all decoded when the layer is made. The frame
// shown follows the file's frame delays on a clock that starts when the layer is made and runs
// whether or not it is shown; the animation loops for ever. Made on the main thread; drawn
// afterwards only by the composition thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/base_layer.h"

// Milliseconds on a 32-bit clock that wraps; only differences are used.
using GifClock = std::function<uint32_t()>;

// The most memory the decoded frames of one GIF may take together. A larger animation is shown
// as a single cleared frame instead of exhausting the machine's memory in the middle of a live.
constexpr size_t kGifFrameStoreLimit = size_t{1} << 30;

class CGifLayer : public CBaseLayer {
public:
    // A file that cannot be read gives a layer without a picture: it sizes to nothing and draws
    // nothing. clock: the tick (TimeGetTime) when empty.
    explicit CGifLayer(const std::string& path, GifClock clock = nullptr, size_t frameStoreLimit = kGifFrameStoreLimit);
    ~CGifLayer() override;

    // BGRA, whatever the canvas format: the scene composes it by its alpha.
    ImageBuffer* GetImage(float scale, uint32_t fourcc) override;

    bool Animated() const { return animated_; }
    int FrameCount() const { return frameCount_; }
    // Display time of frame i in milliseconds; 0 for a layer that does not animate.
    uint32_t Delay(int i) const {
        return i >= 0 && static_cast<size_t>(i) < delays_.size() ? delays_[static_cast<size_t>(i)] : 0;
    }
    uint64_t TotalDuration() const { return totalDuration_; }
    int CurrentFrame() const { return currentFrame_; }

private:
    struct StoreFreer {
        void operator()(uint8_t* p) const { std::free(p); }
    };

    // The frame on show elapsed milliseconds after the layer was made.
    int FrameAt(uint32_t elapsed) const;

    GifClock clock_;
    bool animated_ = false;
    std::vector<uint8_t*> frameTable_;  // start of each frame inside the store
    std::unique_ptr<uint8_t, StoreFreer> frameStore_;
    std::vector<uint32_t> delays_;
    std::vector<uint64_t> frameEnds_;  // loop time at which each frame ends
    int32_t frameCount_ = 0;
    uint64_t totalDuration_ = 0;
    uint32_t startTime_ = 0;
    int32_t currentFrame_ = -1;
    bool frameChanged_ = false;
};
