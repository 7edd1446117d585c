// A layer showing a capture device (camera or capture card): the device's newest frame, converted
// from YUY2 when needed, scaled into the layer's rectangle inside its border and, with the chroma
// key on, made transparent where it matches the key colour. Made on the main thread with one
// reference of its device; drawn and destroyed by the composition thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "scene/base_layer.h"
#include "scene/video_device.h"

struct ChromaOptions {
    uint8_t chromaKey = 0;    // key on
    uint32_t keyColor = 0;    // 0x00BBGGRR
    uint32_t similarity = 0;  // 0..1000; 0 keys nothing
};

// Scales a device's frame into *rendered (w x h of the layer's rectangle at scale, with the
// layer's border around it), converting a YUY2 frame through the layer's image first. Frames of
// other formats leave the inner area as it was. A frame already drawn (newFrame false) is not
// drawn again while the rendered image keeps its size and border. Returns *rendered, or null when
// the layer has no area or fourcc is not a 3-byte format; *redrawn tells whether it changed.
// Composition thread.
ImageBuffer* RenderDeviceFrame(CBaseLayer* layer, const ImageBuffer* frame, bool newFrame, float scale, uint32_t fourcc,
                               ImageBufferPtr* rendered, bool* redrawn);

// A camera or media layer's copy of its device's newest frame, with the frame's size for ResetSize
// on the main thread (the frame itself belongs to the composition thread).
class CDeviceFrame {
public:
    // At construction: a frame of the device's size in the canvas format; the layer's aspect ratio
    // follows that size.
    void Init(CBaseLayer* layer, int32_t width, int32_t height, uint32_t fourcc);
    // The device's newest frame (composition thread), copied only when it is not the one already
    // held (*isNew then true); null when the device has none. The layer's bottom-up flag follows
    // the frame: SourceKit's BGR frames are bottom-up, its YUY2 frames top-down.
    template <class Device>
    ImageBuffer* Refresh(Device* device, CBaseLayer* layer, bool* isNew) {
        *isNew = false;
        if (device == nullptr) return nullptr;
        ImageBuffer* frame = frame_.release();
        const int32_t copied = device->CopyNewFrame(&frame, &sequence_);
        frame_.reset(frame);
        if (copied < 0) return nullptr;
        *isNew = copied > 0;
        if (*isNew) Adopt(layer);
        return frame_.get();
    }
    void Free() { frame_.reset(); }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

private:
    void Adopt(CBaseLayer* layer);

    ImageBufferPtr frame_;
    uint64_t sequence_ = 0;  // the device's number of the frame held
    std::atomic<int32_t> width_{0}, height_{0};
};

class CDevLayer : public CBaseLayer {
public:
    // Takes over the caller's reference of device (released by the destructor); fourcc: the canvas.
    CDevLayer(const std::string& sourceName, CVideoDevice* device, const ChromaOptions& chroma, uint32_t fourcc);
    ~CDevLayer() override;

    // Sized from the device's frame instead of an image; without a frame nothing changes.
    void ResetSize(int canvasWidth, int canvasHeight, int viewWidth, int viewHeight, float scale) override;
    ImageBuffer* GetImage(float scale, uint32_t fourcc) override;
    void ExportFields(SceneSource* record) const override;

    CVideoDevice* Device() const { return device_; }

    // Written by the camera dialog while the composition thread keys with it.
    std::atomic<uint32_t> similarity{0};

private:
    CVideoDevice* device_;
    CDeviceFrame frame_;
    ImageBufferPtr keyed_;
    // The key the keyed image was made with, to make it again only when something changed.
    uint32_t keyedColor_ = 0, keyedSimilarity_ = 0;
    bool keyedValid_ = false;  // false once the rendered image changed after the key was made
};
