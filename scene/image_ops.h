// The pixel operations with which the scene composes layers into the canvas and the view draws
// its overlays. Images are packed and top-down unless the name says Flipped (rows stored
// bottom-up); positions may be negative and everything is clipped to the canvas. Results are
// 0 on success and negative when the geometry is impossible or a pointer is null.
#pragma once

#include <cstdint>

struct ClipRect {
    int32_t left, top, right, bottom;
};

// Bilinear scaling with replicated edges, 3 or 4 bytes per pixel. 0 or a negative status.
int ResizeBGR(const uint8_t* src, int sw, int sh, int sstride, uint8_t* dst, int dw, int dh, int dstride);
int ResizeBGRA(const uint8_t* src, int sw, int sh, int sstride, uint8_t* dst, int dw, int dh, int dstride);

// Canvas: BGR W x H, stride W x 3. Source w x h drawn with its top-left corner at (x, y).
int CopyOpaque(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y);
int CopyOpaqueFlipped(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y);
// BGRA source (stride w x 4) composed over the canvas by its own alpha; -1 when nothing overlaps.
int AlphaOver(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y);
int AlphaOverFlipped(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y);
// canvas = canvas x (255 - opacity) / 255 + source x opacity / 255.
int BlendWithOpacity(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y, uint8_t opacity);
// Copies the source except its pixels equal to key (0x00BBGGRR), limited to clip (canvas pixels).
int CopyColorKeyed(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y, ClipRect clip,
                   uint32_t key);

// One-pixel white outline of rect (right and bottom exclusive), each side clipped to the image.
void DrawSelectionFrame(uint8_t* image, int W, int H, ClipRect rect);

// Fills with colour 0x00BBGGRR (alpha 255 for the 4-byte form).
int FillBGR(uint8_t* pixels, int stride, int width, int height, uint32_t colour);
int FillBGRA(uint8_t* pixels, int stride, int width, int height, uint32_t colour);

// BGRA copy of a BGR image whose alpha is 0 where the pixel's chroma is close to the key colour
// and 255 elsewhere; similarity 0..1000 (0 keys nothing).
int ChromaKeyMask(uint8_t* dst, int dstride, const uint8_t* src, int sstride, int width, int height, uint32_t key,
                  uint32_t similarity);
