// Pixel composition primitives: channel copies between 3- and 4-byte pixels, alpha composition,
// constant-alpha blending, colour-keyed copies and fills. All images are packed and top-down;
// a negative stride walks rows upward (used for bottom-up sources). Source and destination must not
// overlap. Return 0 or a negative status (see resize.h).
#pragma once

#include <cstdint>

// Copies the three colour bytes of each 3-byte pixel into a 4-byte pixel; the fourth byte of the
// destination is left alone.
int CopyC3ToAC4(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height);

// Copies the first three bytes of each 4-byte pixel into a 3-byte pixel.
int CopyAC4ToC3(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height);

// Source-over: a BGRA source composed over a BGR destination by the source's own alpha
// (dst = src x a / 255 + dst x (255 - a) / 255, rounded). Alpha 255 copies, alpha 0 keeps dst.
int AlphaOverBGRAOntoBGR(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height);

// Constant-alpha blend of two BGR images ("plus" with alphas 255 - a and a):
// dst = dst x (255 - a) / 255 + src x a / 255, rounded.
int BlendConstAlphaBGR(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height,
                       uint8_t alpha);

// Copies src over dst except where a src pixel equals the key bytes (b, g, r).
int CopyKeyedBGR(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height, uint8_t key_b,
                 uint8_t key_g, uint8_t key_r);

// Fills a region with one pixel value.
int FillC3(uint8_t* dst, int dstride, int width, int height, const uint8_t value[3]);
int FillC4(uint8_t* dst, int dstride, int width, int height, const uint8_t value[4]);
