// The image descriptor that every image producer and consumer of the program exchanges:
// layers, the scene canvas, the preview and SourceKit's capture callback. One owner at a time.
#pragma once

#include <cstdint>
#include <memory>

constexpr uint32_t MakeFourcc(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

constexpr uint32_t kFourccRV24 = MakeFourcc('R', 'V', '2', '4');  // B, G, R
constexpr uint32_t kFourccRV32 = MakeFourcc('R', 'V', '3', '2');  // B, G, R, A
constexpr uint32_t kFourccYUY2 = MakeFourcc('Y', 'U', 'Y', '2');  // Y0, U, Y1, V
static_assert(kFourccRV24 == 0x34325652 && kFourccRV32 == 0x32335652 && kFourccYUY2 == 0x32595559);

// SourceKit's public header declares the same layout under the same guard: it is the form images
// cross the library boundary in.
#ifndef BREVACAST_IMAGE_BUFFER_DEFINED
#define BREVACAST_IMAGE_BUFFER_DEFINED
typedef struct ImageBuffer {
    uint8_t* planes[4];  // plane 0 holds every pixel; the formats used are packed
    int32_t strides[4];  // stride 0 = bytes per row; the others 0
    int32_t width;
    int32_t height;
    uint32_t fourcc;
    int32_t fixed[3];    // -1, 1, 1: set at creation, carried unchanged
    uint32_t timestamp;  // milliseconds; set by capture sources, 0 otherwise
    uint32_t reserved[2];
} ImageBuffer;
#endif

// Bytes per pixel of a fourcc: 4 for RV32, 3 for RV24, 2 for YUY2 and any other code.
int BytesPerPixel(uint32_t fourcc);

// Allocates a zeroed descriptor and stride x height bytes of (uncleared, 64-byte aligned) pixel
// memory. Returns null for a non-positive geometry, a side above 16384, or when memory cannot be had.
ImageBuffer* CreateImageBuffer(int width, int height, uint32_t fourcc);

// Releases the pixels, then the descriptor. Accepts null.
void FreeImageBuffer(ImageBuffer* buffer);

struct ImageBufferDeleter {
    void operator()(ImageBuffer* buffer) const { FreeImageBuffer(buffer); }
};
using ImageBufferPtr = std::unique_ptr<ImageBuffer, ImageBufferDeleter>;
