// The base of every layer of the scene: a rectangle in view coordinates (720-pixel-wide view),
// display flags, a border, and an image rendered on request at the canvas scale.
// The composition thread draws layers (GetImage, GetPosition); the main thread moves and resizes
// them (Drag, SetRect) and flips their flags. The rectangle is guarded by the layer's own lock and
// the flags are atomic, so a frame never sees a half-written rectangle.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "imaging/image_buffer.h"

struct LayerRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const LayerRect&) const = default;
};

struct LayerPoint {
    int32_t x = 0, y = 0;
};

// Drag modes, chosen by the view from where a drag began.
enum DragMode : int {
    kDragMove = 1,
    kDragLeft = 2,
    kDragTopLeft = 3,
    kDragTop = 4,
    kDragTopRight = 5,
    kDragRight = 6,
    kDragBottomRight = 7,
    kDragBottom = 8,
    kDragBottomLeft = 9,
};

constexpr int32_t kMinLayerSize = 20;  // view pixels

class CBaseLayer {
public:
    CBaseLayer() = default;
    CBaseLayer(const CBaseLayer&) = delete;
    CBaseLayer& operator=(const CBaseLayer&) = delete;

    virtual ~CBaseLayer();
    // Sizes the rectangle from the image: its own pixel size when it fits the canvas, otherwise
    // the largest size of its proportions that does. The top-left corner stays.
    virtual void ResetSize(int canvasWidth, int canvasHeight, int viewWidth, int viewHeight, float scale);
    // Unnamed operation that no layer gives a meaning; kept so every layer answers it.
    virtual void Reserved(int32_t) {}
    // The image to draw at this scale, owned by the layer and valid until the next call; null
    // when the layer has nothing to show.
    virtual ImageBuffer* GetImage(float scale, uint32_t fourcc);
    virtual void GetPosition(LayerPoint* out, float scale);
    virtual void SetVisible(uint8_t flag);
    // The monitor a screen layer captures; -1 for every other layer.
    virtual int ScreenIndex() const { return -1; }
    // The media device a file layer plays; null for every other layer.
    virtual const void* MediaDevice() const { return nullptr; }
    // Fills the fields of a stored record that only this kind of layer knows (text style,
    // capture settings, play options). The scene fills the common fields itself.
    virtual void ExportFields(struct SceneSource*) const {}

    // dx, dy: mouse movement in view pixels since the previous call.
    void Drag(int mode, int dx, int dy, float scale);

    LayerRect GetRect() const;
    void SetRect(const LayerRect& rect);

    // Takes ownership of the source picture and records its aspect ratio.
    void SetImage(ImageBufferPtr picture);
    const ImageBuffer* Image() const { return image.get(); }

    std::string sourceName;
    ImageBufferPtr image;  // the source picture at its own size
    std::atomic<uint8_t> reRender{0};
    std::atomic<uint8_t> keepRatio{1};
    std::atomic<float> aspectRatio{1.0f};
    std::atomic<uint8_t> bottomUp{0};
    std::atomic<uint8_t> visible{1};
    std::atomic<uint8_t> borderChanged{0};
    std::atomic<int32_t> borderWidth{0};
    std::atomic<uint32_t> borderColor{0};  // 0x00BBGGRR
    // How the scene draws the layer: 24-bit pictures blend with their opacity, text is copied
    // around its key colour, capture images with a chroma key are composed by their alpha.
    std::atomic<uint8_t> opacity{255};
    std::atomic<uint32_t> keyColor{0};  // 0x00BBGGRR
    std::atomic<uint8_t> keyedImage{0};

protected:
    // The scaled-image-with-border pattern shared by picture, screen, device and file layers:
    // returns source itself when it already has the canvas size and there is no border, otherwise
    // the rendered image (created, recreated or redrawn as needed). rebuild forces a redraw for
    // sources whose picture changes every frame.
    ImageBuffer* RenderScaled(const ImageBuffer* source, float scale, uint32_t fourcc, bool rebuild);
    // ResetSize for a picture of the given size (layers whose size comes from something other than
    // their image).
    void ResetSizeFor(int pictureWidth, int pictureHeight, int canvasWidth, int canvasHeight, int viewWidth,
                      int viewHeight, float scale);

    ImageBufferPtr rendered_;

private:
    mutable std::mutex rectLock_;
    LayerRect rect_;
};
