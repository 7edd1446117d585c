// Pixel helpers for the caption and information overlay tests: colours as 0x00BBGGRR, images and
// canvases as packed BGR rows.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "imaging/image_buffer.h"

struct InkBox {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    bool empty = true;
};

inline uint32_t BgrAt(const uint8_t* row, int x) {
    const uint8_t* p = row + static_cast<size_t>(x) * 3;
    return static_cast<uint32_t>(p[2]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[0]) << 16);
}

inline uint32_t PixelAt(const ImageBuffer* image, int x, int y) {
    return BgrAt(image->planes[0] + static_cast<size_t>(y) * image->strides[0], x);
}

inline int CountColour(const ImageBuffer* image, uint32_t colour) {
    int n = 0;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) n += PixelAt(image, x, y) == colour ? 1 : 0;
    return n;
}

// Every pixel of the image that is not the background colour.
inline InkBox InkOf(const ImageBuffer* image, uint32_t background) {
    InkBox box{image->width, image->height, 0, 0, true};
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            if (PixelAt(image, x, y) != background) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
                box.empty = false;
            }
    return box;
}

// The canvas pixels of a given colour, as their bounding box.
inline InkBox CanvasBoxOf(const std::vector<uint8_t>& canvas, int width, int height, uint32_t colour) {
    InkBox box{width, height, 0, 0, true};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (BgrAt(canvas.data() + static_cast<size_t>(y) * width * 3, x) == colour) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
                box.empty = false;
            }
    return box;
}

// A millisecond tick the test moves by hand; read by the composition thread.
struct ManualClock {
    std::atomic<uint32_t> now{1000};
    uint32_t operator()() const { return now.load(); }
};
