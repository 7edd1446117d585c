// Colour conversions between the canvas format (BGR), packed YUY2, the planar forms the encoders
// take, and 8-bit CIE LUV for the chroma key. YUV is BT.601 studio range (Y 16-235, Cb/Cr 16-240).
// Widths and heights are in pixels; YUY2 and 4:2:0 operations expect even widths (4:2:0 also even
// heights); an odd last column or row is handled by repeating its neighbour. A YUY2 row of odd
// width w still takes 2 x w bytes: its last pixel is stored as Y, U and reads back with the V of the
// pair before it.
#pragma once

#include <cstdint>

// BGR (3 bytes per pixel) to YUY2 (Y0 U Y1 V); the chroma of a pixel pair is the mean of both.
int BGRToYUY2(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height);

// YUY2 to BGR (3 bytes per pixel), values clamped to 0..255.
int YUY2ToBGR(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height);

// YUY2 to planar I420: full-size Y, half-size U and V; the chroma of a 2x2 block is the mean of
// the two source rows.
int YUY2ToI420(const uint8_t* src, int sstride, uint8_t* y, int ystride, uint8_t* u, int ustride, uint8_t* v,
               int vstride, int width, int height);

// YUY2 to NV12: full-size Y and one half-size plane of interleaved U, V.
int YUY2ToNV12(const uint8_t* src, int sstride, uint8_t* y, int ystride, uint8_t* uv, int uvstride, int width,
               int height);

// Planar 4:2:0 to YUY2 with the planes given as Y, Cr (V), Cb (U). Callers holding I420 planes
// (Y, U, V) in the order 0, 1, 2 pass 0, 2, 1, which makes the net effect standard I420 -> YUY2.
int YCrCb420ToYUY2(const uint8_t* y, int ystride, const uint8_t* cr, int crstride, const uint8_t* cb, int cbstride,
                   uint8_t* dst, int dstride, int width, int height);

// 8-bit RGB (bytes taken as R, G, B in memory order) to 8-bit LUV: XYZ from R, G, B / 255 with
// the sRGB/D65 matrix (no gamma step), then L x 255 / 100, (U + 134) x 255 / 354,
// (V + 140) x 255 / 262, rounded and clamped. Output is 3 bytes per pixel (L, U, V).
int RGBToLUV(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height);
