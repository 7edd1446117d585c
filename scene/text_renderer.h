// The text drawing the caption and information layers rely on, shaped like the Windows calls they
// were written against: a font description (height as cell height, escapement, weight, style
// flags, face), the extent of a text on one line, and a 24-bit surface that is filled with a key
// colour and drawn on with a text colour. Pango lays the text out and Cairo rasterises it without
// smoothing, so every pixel is either exactly the background or exactly the text colour.
// Any thread may call these; rendering is serialised by one process-wide lock because Pango's
// font map and fontconfig are shared.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/image_buffer.h"

constexpr uint8_t kProofQuality = 2;
constexpr int32_t kVerticalEscapement = 2700;  // tenths of a degree: the text runs downwards

// DrawText format bits that the layers use.
constexpr uint32_t kDtVCenter = 0x04;
constexpr uint32_t kDtSingleLine = 0x20;

struct LogFont {
    int32_t height = 0;      // positive: the cell height (ascent + descent) in pixels
    int32_t width = 0;       // 0: the face's own proportions
    int32_t escapement = 0;  // 0 or kVerticalEscapement
    int32_t weight = 400;    // 400 normal, 600 semi-bold, 700 bold
    uint8_t italic = 0, underline = 0, strikeOut = 0;
    uint8_t quality = kProofQuality;
    // A leading "@" names the face's vertical variant; here it is the same face, and the whole line
    // turns with the escapement. Missing faces fall back through fontconfig, character by character.
    std::string faceName;
};

struct TextExtent {
    int32_t cx = 0;  // advance width of the text on one line
    int32_t cy = 0;  // line height
};

struct TextRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The created font. Immutable once made.
class CTextFont {
public:
    explicit CTextFont(const LogFont& font);
    ~CTextFont();
    CTextFont(const CTextFont&) = delete;
    CTextFont& operator=(const CTextFont&) = delete;

    const LogFont& Description() const { return font_; }
    bool Vertical() const { return font_.escapement == kVerticalEscapement; }
    // Extent of text drawn as one line (line breaks count as spaces), along the line for vertical
    // fonts. An empty text has width 0 and the line height.
    TextExtent Measure(const std::string& text) const;

private:
    friend class CTextSurface;
    struct Impl;
    LogFont font_;
    std::unique_ptr<Impl> impl_;
};

// A width x height surface of 24-bit pixels: the memory device context with its bitmap selected.
class CTextSurface {
public:
    // Null when the size is not positive, larger than an image may be, or memory is short.
    static std::unique_ptr<CTextSurface> Create(int width, int height);
    ~CTextSurface();
    CTextSurface(const CTextSurface&) = delete;
    CTextSurface& operator=(const CTextSurface&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // colour: 0x00BBGGRR.
    void Fill(uint32_t colour);
    // Draws text in colour over a transparent background. Horizontal fonts start at (left, top):
    // with kDtSingleLine the text is one line, centred vertically in the rectangle when kDtVCenter
    // is also given; without it, every line break starts a new line below. Vertical fonts take
    // (left, top) as the top of the line's upper edge, which lies at the right: the line occupies
    // the line height to the left of it and runs downwards.
    void DrawText(const CTextFont& font, const std::string& text, const TextRect& rect, uint32_t format,
                  uint32_t colour);
    // Copies the pixels top-down into an "RV24" or "RV32" (alpha 255) image of the same size.
    bool CopyTo(ImageBuffer* image) const;

private:
    struct Impl;
    CTextSurface(int width, int height, std::unique_ptr<Impl> impl);
    int width_, height_;
    std::unique_ptr<Impl> impl_;
};
