// A caption (layer kind 5): the user's text in a chosen face, colour and style, rendered into a
// 24-bit image whose background is a key colour so that the scene copies only the glyphs, and
// optionally scrolling through its box in one of four directions.
// Made on the main thread (the scene, the text dialog); GetImage and GetPosition run on the
// composition thread. The text and style never change: a changed caption is a new layer.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "scene/base_layer.h"
#include "scene/text_renderer.h"

struct SceneSource;

// What describes a caption: the fields of a stored text record from FaceName on, in that order.
struct TextStyle {
    std::string FaceName;
    uint32_t rgbColor = 0;  // 0x00BBGGRR
    uint8_t Bold = 0, Italic = 0, UnderLine = 0, StrikeOut = 0, Hollow = 0;
    int32_t MoveSpeed = 0;      // 0 none, 1 slow, 2 medium, 3 fast
    int32_t MoveDirection = 0;  // 0 left to right, 1 right to left, 2 top to bottom, 3 bottom to top

    static TextStyle FromRecord(const SceneSource& record);
    // Writes the style into a stored text record's fields.
    void ToRecord(SceneSource* record) const;
};

enum TextDirection : int32_t {
    kTextLeftToRight = 0,
    kTextRightToLeft = 1,
    kTextTopToBottom = 2,
    kTextBottomToTop = 3,
};

constexpr int32_t kCaptionBaseHeight = 50;  // font height at creation, pixels
constexpr uint32_t kScrollStepMs = 80;      // the text moves 10 x speed pixels per step
constexpr int32_t kScrollStepPixels = 10;

// The millisecond tick that drives scrolling; tests give their own.
using TickClock = std::function<uint32_t()>;

class CTxtLayer : public CBaseLayer {
public:
    CTxtLayer(const std::string& text, const TextStyle& style, uint32_t fourcc, TickClock clock = nullptr);
    ~CTxtLayer() override;

    void ResetSize(int canvasWidth, int canvasHeight, int viewWidth, int viewHeight, float scale) override;
    // Renders again at the size that fits the box when the re-render flag is set.
    ImageBuffer* GetImage(float scale, uint32_t fourcc) override;
    // Scrolling captions move through their box; the scene clips them to it.
    void GetPosition(LayerPoint* out, float scale) override;
    void ExportFields(SceneSource* record) const override;

    const TextStyle& Style() const { return style_; }
    // The font of the last rendering.
    const LogFont& Font() const { return font_; }
    int32_t BaseWidth() const { return baseWidth_; }
    int32_t BaseHeight() const { return baseHeight_; }
    int32_t ScrollCycle() const { return scrollCycle_; }

private:
    bool Vertical() const;
    // Renders the text with font_ into image; extent receives the text's measured extent.
    void Render(TextExtent* extent);

    const TextStyle style_;
    const uint32_t fourcc_;
    TickClock clock_;
    LogFont font_;
    int32_t baseWidth_ = 0, baseHeight_ = 0;
    // Composition thread after construction.
    int32_t scrollCycle_ = 0;  // 10-pixel steps after which scrolling starts over
    uint32_t scrollStart_ = 0;
    // The image is replaced on the composition thread while the view may ask for the natural size.
    mutable std::mutex imageLock_;
};
