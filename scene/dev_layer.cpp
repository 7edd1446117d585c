#include "scene/dev_layer.h"

#include "imaging/color_convert.h"
#include "scene/image_ops.h"
#include "scene/scene_source.h"

ImageBuffer* RenderDeviceFrame(CBaseLayer* layer, const ImageBuffer* frame, bool newFrame, float scale, uint32_t fourcc,
                               ImageBufferPtr* rendered, bool* redrawn) {
    *redrawn = false;
    const LayerRect r = layer->GetRect();
    const int w = static_cast<int>(r.Width() * scale);
    const int h = static_cast<int>(r.Height() * scale);
    if (w <= 0 || h <= 0 || BytesPerPixel(fourcc) != 3) {
        rendered->reset();
        return nullptr;
    }
    if (*rendered && ((*rendered)->width != w || (*rendered)->height != h || (*rendered)->fourcc != fourcc))
        rendered->reset();
    ImageBuffer* out = rendered->get();
    if (out != nullptr && !newFrame && !layer->borderChanged) return out;
    *redrawn = true;
    if (out == nullptr || layer->borderChanged) {
        if (out == nullptr) {
            rendered->reset(CreateImageBuffer(w, h, fourcc));
            out = rendered->get();
            if (out == nullptr) return nullptr;
        }
        FillBGR(out->planes[0], out->strides[0], w, h, layer->borderColor);
        layer->borderChanged = 0;
    }
    // A border wider than half the layer leaves no inner area: the layer shows only its border.
    const int border = layer->borderWidth;
    const int iw = w - 2 * border, ih = h - 2 * border;
    if (iw <= 0 || ih <= 0) return out;
    uint8_t* inner = out->planes[0] + static_cast<size_t>(border) * out->strides[0] + static_cast<size_t>(border) * 3;

    if (frame->fourcc == kFourccYUY2) {
        // The conversion image follows the frame's size: a source that changes its size must not
        // be converted into a smaller picture.
        ImageBufferPtr& converted = layer->image;
        if (!converted || converted->width != frame->width || converted->height != frame->height) {
            converted.reset(CreateImageBuffer(frame->width, frame->height, kFourccRV24));
            if (!converted) return out;
        }
        YUY2ToBGR(frame->planes[0], frame->strides[0], converted->planes[0], converted->strides[0], frame->width,
                  frame->height);
        ResizeBGR(converted->planes[0], converted->width, converted->height, converted->strides[0], inner, iw, ih,
                  out->strides[0]);
    } else if (frame->fourcc == kFourccRV24) {
        ResizeBGR(frame->planes[0], frame->width, frame->height, frame->strides[0], inner, iw, ih, out->strides[0]);
    }
    return out;
}

void CDeviceFrame::Init(CBaseLayer* layer, int32_t width, int32_t height, uint32_t fourcc) {
    frame_.reset(CreateImageBuffer(width, height, fourcc));
    if (!frame_) return;
    width_ = width;
    height_ = height;
    layer->aspectRatio = static_cast<float>(width) / static_cast<float>(height);
}

void CDeviceFrame::Adopt(CBaseLayer* layer) {
    // A frame of another format is not drawn: the picture kept from before keeps its size and
    // orientation.
    const uint32_t fourcc = frame_->fourcc;
    if (fourcc != kFourccRV24 && fourcc != kFourccYUY2) return;
    width_ = frame_->width;
    height_ = frame_->height;
    layer->bottomUp = fourcc == kFourccRV24 ? 1 : 0;
}

CDevLayer::CDevLayer(const std::string& name, CVideoDevice* device, const ChromaOptions& chroma, uint32_t fourcc)
    : device_(device) {
    sourceName = name;
    if (device_ != nullptr) frame_.Init(this, device_->width, device_->height, fourcc);
    bottomUp = 1;
    keyedImage = chroma.chromaKey != 0 ? 1 : 0;
    keyColor = chroma.keyColor;
    similarity = chroma.similarity;
}

CDevLayer::~CDevLayer() {
    keyed_.reset();
    frame_.Free();
    rendered_.reset();
    if (device_ != nullptr) device_->Release();
}

void CDevLayer::ResetSize(int canvasWidth, int canvasHeight, int viewWidth, int viewHeight, float scale) {
    ResetSizeFor(frame_.Width(), frame_.Height(), canvasWidth, canvasHeight, viewWidth, viewHeight, scale);
}

ImageBuffer* CDevLayer::GetImage(float scale, uint32_t fourcc) {
    bool isNew = false;
    const ImageBuffer* frame = frame_.Refresh(device_, this, &isNew);
    if (frame == nullptr) return keyedImage ? keyed_.get() : rendered_.get();
    bool redrawn = false;
    ImageBuffer* out = RenderDeviceFrame(this, frame, isNew, scale, fourcc, &rendered_, &redrawn);
    if (redrawn) keyedValid_ = false;
    if (out == nullptr || !keyedImage) return out;

    // The dialog may change the key while nothing else does.
    const uint32_t key = keyColor, similar = similarity;
    if (keyed_ && (keyed_->width != out->width || keyed_->height != out->height)) keyed_.reset();
    if (keyed_ && keyedValid_ && key == keyedColor_ && similar == keyedSimilarity_) return keyed_.get();
    if (!keyed_) {
        keyed_.reset(CreateImageBuffer(out->width, out->height, kFourccRV32));
        if (!keyed_) return nullptr;
    }
    ChromaKeyMask(keyed_->planes[0], keyed_->strides[0], out->planes[0], out->strides[0], out->width, out->height, key,
                  similar);
    keyedColor_ = key;
    keyedSimilarity_ = similar;
    keyedValid_ = true;
    return keyed_.get();
}

void CDevLayer::ExportFields(SceneSource* record) const {
    record->ChromaKey = keyedImage;
    record->KeyColor = keyColor;
    record->Similarity = similarity;
    if (device_ == nullptr) return;
    record->DeInterlace = device_->deinterlace;
    record->Width = device_->width;
    record->Height = device_->height;
    record->FrameRate = device_->frameRate;
    record->Fourcc = device_->fourcc;
}
