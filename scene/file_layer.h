// A layer showing a media file or network stream: the device's newest frame scaled into the
// layer's rectangle inside its border. Showing and hiding the layer applies the device's play
// flags (start over when shown, pause while hidden). Made on the main thread with one reference of
// its device; drawn and destroyed by the composition thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "scene/base_layer.h"
#include "scene/dev_layer.h"
#include "scene/file_device.h"

class CFileLayer : public CBaseLayer {
public:
    // Takes over the caller's reference of device (released by the destructor); fourcc: the canvas.
    CFileLayer(const std::string& sourceName, CFileDevice* device, uint32_t fourcc);
    ~CFileLayer() override;

    // Sized from the device's frame instead of an image; without a frame nothing changes.
    void ResetSize(int canvasWidth, int canvasHeight, int viewWidth, int viewHeight, float scale) override;
    ImageBuffer* GetImage(float scale, uint32_t fourcc) override;
    void SetVisible(uint8_t flag) override;
    const void* MediaDevice() const override { return device_; }
    void ExportFields(SceneSource* record) const override;

    CFileDevice* Device() const { return device_; }

private:
    CFileDevice* device_;
    CDeviceFrame frame_;
    // Set by SetVisible when the file starts over: the composition thread drops the last picture.
    std::atomic<uint8_t> dropRendered_{0};
};
