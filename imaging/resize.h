// Bilinear scaling of packed 8-bit images with 3 or 4 channels, replicating the edge pixels.
// Used by the layers to scale their pictures to the canvas and by the view.
#pragma once

#include <cstdint>

// Status codes shared by the imaging operations: 0 is success, negative is failure.
constexpr int kImgOk = 0;
constexpr int kImgBadSize = -6;       // a width or height is not positive
constexpr int kImgNullPtr = -8;       // a pixel pointer is null
constexpr int kImgBadStride = -37;    // a stride is smaller than a row
constexpr int kImgNoMemory = -4;      // work memory could not be allocated
constexpr int kImgBadChannels = -10;  // a channel count the operation does not support

// Scales src (sw x sh, sstride bytes per row) into dst (dw x dh, dstride bytes per row).
// Pixel centres are mapped (dst + 0.5) * src / dst - 0.5; samples outside the source take the
// nearest edge pixel. channels is 3 or 4 (all four channels are interpolated). A negative stride
// walks rows upward; its magnitude must still cover a row. src and dst must not overlap. Results
// are within 1 of exact bilinear interpolation; equal sizes copy exactly.
int ResizeLinear(const uint8_t* src, int sw, int sh, int sstride, uint8_t* dst, int dw, int dh, int dstride,
                 int channels);
