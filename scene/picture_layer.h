// CPicLayer (layer kind 3): a still picture without transparency, drawn by the scene with a
// constant opacity chosen by the user. Made on the main thread from a decoded 24-bit bitmap;
// drawn afterwards only by the composition thread.
#pragma once

#include <cstdint>
#include <string>

#include "scene/base_layer.h"
#include "scene/picture_loader.h"

class CPicLayer : public CBaseLayer {
public:
    // Copies the bitmap's pixels; the caller may release it afterwards. opacity: 0 (invisible) to
    // 255 (opaque), from the picture dialog or a stored record; values outside are clamped.
    CPicLayer(const std::string& sourceName, const CPictureBitmap& bitmap, int opacity);
    ~CPicLayer() override;

    // Scaled to the layer's size on the canvas once per size or border change.
    ImageBuffer* GetImage(float scale, uint32_t fourcc) override;
};
