#include "scene/file_layer.h"

#include <cmath>

#include "scene/scene_source.h"

CFileLayer::CFileLayer(const std::string& name, CFileDevice* device, uint32_t fourcc) : device_(device) {
    sourceName = name;
    if (device_ != nullptr) frame_.Init(this, device_->width, device_->height, fourcc);
    bottomUp = 1;
}

CFileLayer::~CFileLayer() {
    frame_.Free();
    rendered_.reset();
    if (device_ != nullptr) device_->Release();
}

void CFileLayer::ResetSize(int canvasWidth, int canvasHeight, int viewWidth, int viewHeight, float scale) {
    ResetSizeFor(frame_.Width(), frame_.Height(), canvasWidth, canvasHeight, viewWidth, viewHeight, scale);
}

ImageBuffer* CFileLayer::GetImage(float scale, uint32_t fourcc) {
    if (dropRendered_.exchange(0) != 0) rendered_.reset();
    bool isNew = false;
    const ImageBuffer* frame = frame_.Refresh(device_, this, &isNew);
    // Without video, or after a seek until the next frame: the last picture stays.
    if (frame == nullptr) return rendered_.get();
    bool redrawn = false;
    return RenderDeviceFrame(this, frame, isNew, scale, fourcc, &rendered_, &redrawn);
}

void CFileLayer::SetVisible(uint8_t flag) {
    const bool show = flag != 0;
    if (device_ != nullptr) {
        const uint32_t flags = device_->PlayFlags();
        if (!visible && show) {
            device_->Pause(0);
            if ((flags & kPlayRestartWhenShown) != 0) {
                device_->Seek(0);
                dropRendered_ = 1;
            }
        } else if (visible && !show && (flags & kPlayPauseWhenHidden) != 0) {
            device_->Pause(1);
        }
    }
    visible = show ? 1 : 0;
}

void CFileLayer::ExportFields(SceneSource* record) const {
    if (device_ == nullptr) return;
    // Rounded: a volume of 53 is kept as a gain of 0.53f, which is a hair below 0.53.
    record->Volume = static_cast<int32_t>(std::lround(device_->Gain() * 100.0f));
    record->PlayFlag = static_cast<int32_t>(device_->PlayFlags());
}
