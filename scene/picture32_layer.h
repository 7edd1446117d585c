// CPic32Layer (layer kind 4): a still picture with an alpha channel, drawn by the scene through
// its own alpha. Made on the main thread from a decoded 32-bit bitmap; drawn afterwards only by
// the composition thread.
#pragma once

#include <cstdint>
#include <string>

#include "scene/base_layer.h"
#include "scene/picture_loader.h"

class CPic32Layer : public CBaseLayer {
public:
    // Copies the bitmap's pixels (blue, green, red, straight alpha); the caller may release it
    // afterwards.
    CPic32Layer(const std::string& sourceName, const CPictureBitmap& bitmap);
    ~CPic32Layer() override;

    // Always BGRA, whatever the canvas format: the scene composes it by its alpha.
    ImageBuffer* GetImage(float scale, uint32_t fourcc) override;
};
