#include "imaging/image_buffer.h"

#include <cstdlib>
#include <new>

namespace {

// Larger sides than this are never legitimate for a canvas, layer or capture frame; refusing them
// keeps stride x height well inside 32-bit strides and catches garbage dimensions early.
constexpr int kMaxSide = 16384;

// Cache-line alignment lets the row loops start on a vector boundary for the common widths.
constexpr size_t kPixelAlignment = 64;

}  // namespace

int BytesPerPixel(uint32_t fourcc) {
    if (fourcc == kFourccRV32) return 4;
    if (fourcc == kFourccRV24) return 3;
    return 2;
}

ImageBuffer* CreateImageBuffer(int width, int height, uint32_t fourcc) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
    const int64_t stride = static_cast<int64_t>(width) * BytesPerPixel(fourcc);
    const int64_t bytes = stride * height;
    if (stride > INT32_MAX || bytes <= 0) return nullptr;

    auto* buffer = new (std::nothrow) ImageBuffer{};
    if (buffer == nullptr) return nullptr;
    void* pixels = nullptr;
    if (posix_memalign(&pixels, kPixelAlignment, static_cast<size_t>(bytes)) != 0) {
        delete buffer;
        return nullptr;
    }
    buffer->planes[0] = static_cast<uint8_t*>(pixels);
    buffer->strides[0] = static_cast<int32_t>(stride);
    buffer->width = width;
    buffer->height = height;
    buffer->fourcc = fourcc;
    buffer->fixed[0] = -1;
    buffer->fixed[1] = 1;
    buffer->fixed[2] = 1;
    return buffer;
}

void FreeImageBuffer(ImageBuffer* buffer) {
    if (buffer == nullptr) return;
    std::free(buffer->planes[0]);  // posix_memalign memory is released with free
    delete buffer;
}
