#include "scene/base_layer.h"

#include <algorithm>

#include "scene/image_ops.h"

CBaseLayer::~CBaseLayer() = default;

LayerRect CBaseLayer::GetRect() const {
    std::lock_guard<std::mutex> guard(rectLock_);
    return rect_;
}

void CBaseLayer::SetRect(const LayerRect& rect) {
    std::lock_guard<std::mutex> guard(rectLock_);
    rect_ = rect;
}

void CBaseLayer::SetImage(ImageBufferPtr picture) {
    image = std::move(picture);
    if (image && image->height > 0) aspectRatio = static_cast<float>(image->width) / static_cast<float>(image->height);
}

void CBaseLayer::ResetSize(int canvasWidth, int canvasHeight, int viewWidth, int viewHeight, float scale) {
    if (!image) return;
    ResetSizeFor(image->width, image->height, canvasWidth, canvasHeight, viewWidth, viewHeight, scale);
}

void CBaseLayer::ResetSizeFor(int pictureWidth, int pictureHeight, int canvasWidth, int canvasHeight, int viewWidth,
                              int viewHeight, float scale) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || scale <= 0.0f) return;
    const int border = borderWidth;
    const double fw = pictureWidth + 2.0 * border;
    const double fh = pictureHeight + 2.0 * border;
    const double ratio = aspectRatio;
    std::lock_guard<std::mutex> guard(rectLock_);
    if (fw <= canvasWidth && fh <= canvasHeight) {
        rect_.right = rect_.left + static_cast<int32_t>(fw / scale + 0.49);
        rect_.bottom = rect_.top + static_cast<int32_t>(fh / scale + 0.49);
    } else if (fw / fh > static_cast<double>(canvasWidth) / canvasHeight) {
        rect_.right = rect_.left + viewWidth;
        rect_.bottom = rect_.top + static_cast<int32_t>(viewWidth / ratio + 0.49);
    } else {
        rect_.right = rect_.left + static_cast<int32_t>(viewHeight * ratio + 0.49);
        rect_.bottom = rect_.top + viewHeight;
    }
}

ImageBuffer* CBaseLayer::GetImage(float, uint32_t) { return image.get(); }

void CBaseLayer::GetPosition(LayerPoint* out, float scale) {
    const LayerRect r = GetRect();
    out->x = static_cast<int32_t>(r.left * scale);
    out->y = static_cast<int32_t>(r.top * scale);
}

void CBaseLayer::SetVisible(uint8_t flag) { visible = flag; }

void CBaseLayer::Drag(int mode, int dx, int dy, float scale) {
    reRender = (mode == 0 || mode == kDragMove) ? 0 : 1;
    if (mode < kDragMove || mode > kDragBottomLeft) return;

    std::lock_guard<std::mutex> guard(rectLock_);
    LayerRect& r = rect_;
    if (mode == kDragMove) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
        return;
    }
    auto dragLeft = [&] { r.left = std::min(r.left + dx, r.right - kMinLayerSize); };
    auto dragTop = [&] { r.top = std::min(r.top + dy, r.bottom - kMinLayerSize); };
    auto dragRight = [&] { r.right = std::max(r.right + dx, r.left + kMinLayerSize); };
    auto dragBottom = [&] { r.bottom = std::max(r.bottom + dy, r.top + kMinLayerSize); };

    if (!keepRatio) {
        switch (mode) {
            case kDragLeft:
                dragLeft();
                break;
            case kDragTopLeft:
                dragLeft();
                dragTop();
                break;
            case kDragTop:
                dragTop();
                break;
            case kDragTopRight:
                dragRight();
                dragTop();
                break;
            case kDragRight:
                dragRight();
                break;
            case kDragBottomRight:
                dragRight();
                dragBottom();
                break;
            case kDragBottom:
                dragBottom();
                break;
            case kDragBottomLeft:
                dragLeft();
                dragBottom();
                break;
        }
        return;
    }

    // The inner area keeps the aspect ratio; the border (2b in total) is added around it. In the
    // corner modes the width decides and dy is ignored.
    const int b = scale > 0.0f ? static_cast<int>(borderWidth / scale) : 0;
    const float a = aspectRatio > 0.0f ? aspectRatio.load() : 1.0f;
    auto heightFromWidth = [&] { return 2 * b + static_cast<int32_t>((r.right - r.left - 2 * b) / a); };
    auto widthFromHeight = [&] { return 2 * b + static_cast<int32_t>((r.bottom - r.top - 2 * b) * a); };
    switch (mode) {
        case kDragLeft:
            dragLeft();
            r.bottom = r.top + heightFromWidth();
            break;
        case kDragTopLeft:
            dragLeft();
            r.top = r.bottom - heightFromWidth();
            break;
        case kDragTop:
            dragTop();
            r.right = r.left + widthFromHeight();
            break;
        case kDragTopRight:
            dragRight();
            r.top = r.bottom - heightFromWidth();
            break;
        case kDragRight:
        case kDragBottomRight:
            dragRight();
            r.bottom = r.top + heightFromWidth();
            break;
        case kDragBottom:
            dragBottom();
            r.right = r.left + widthFromHeight();
            break;
        case kDragBottomLeft:
            dragLeft();
            r.bottom = r.top + heightFromWidth();
            break;
    }
}

ImageBuffer* CBaseLayer::RenderScaled(const ImageBuffer* source, float scale, uint32_t fourcc, bool rebuild) {
    if (source == nullptr) return nullptr;
    const LayerRect r = GetRect();
    const int w = static_cast<int>(r.Width() * scale);
    const int h = static_cast<int>(r.Height() * scale);
    const int border = borderWidth;
    if (w == source->width && h == source->height && border == 0) return const_cast<ImageBuffer*>(source);
    if (w <= 0 || h <= 0) return nullptr;

    const bool fourBytes = BytesPerPixel(fourcc) == 4;
    bool redraw = rebuild || borderChanged;
    if (rendered_ && (rendered_->width != w || rendered_->height != h || rendered_->fourcc != fourcc))
        rendered_.reset();
    if (!rendered_) {
        rendered_.reset(CreateImageBuffer(w, h, fourcc));
        if (!rendered_) return nullptr;
        redraw = true;
    }
    if (!redraw) return rendered_.get();

    ImageBuffer* out = rendered_.get();
    const uint32_t colour = borderColor;
    if (fourBytes)
        FillBGRA(out->planes[0], out->strides[0], w, h, colour);
    else
        FillBGR(out->planes[0], out->strides[0], w, h, colour);
    // A border wider than half the layer leaves no inner area: the layer shows only its border.
    const int iw = w - 2 * border, ih = h - 2 * border;
    if (iw > 0 && ih > 0 && BytesPerPixel(source->fourcc) == BytesPerPixel(fourcc)) {
        const int bpp = BytesPerPixel(fourcc);
        uint8_t* inner =
            out->planes[0] + static_cast<size_t>(border) * out->strides[0] + static_cast<size_t>(border) * bpp;
        if (fourBytes)
            ResizeBGRA(source->planes[0], source->width, source->height, source->strides[0], inner, iw, ih,
                       out->strides[0]);
        else
            ResizeBGR(source->planes[0], source->width, source->height, source->strides[0], inner, iw, ih,
                      out->strides[0]);
    }
    borderChanged = 0;
    return out;
}
