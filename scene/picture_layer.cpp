#include "scene/picture_layer.h"

#include <algorithm>
#include <cstring>

CPicLayer::CPicLayer(const std::string& name, const CPictureBitmap& bitmap, int alpha) {
    sourceName = name;
    opacity = static_cast<uint8_t>(std::clamp(alpha, 0, 255));
    ImageBufferPtr picture(CreateImageBuffer(bitmap.Width(), bitmap.Height(), kFourccRV24));
    if (!picture) return;
    const size_t rowBytes = static_cast<size_t>(bitmap.Width()) * 3;
    for (int y = 0; y < bitmap.Height(); ++y) {
        uint8_t* row = picture->planes[0] + static_cast<size_t>(y) * picture->strides[0];
        if (bitmap.BitsPerPixel() == 24)
            std::memcpy(row, bitmap.Top() + static_cast<ptrdiff_t>(y) * bitmap.RowDistance(), rowBytes);
        else
            std::memset(row, 0, rowBytes);
    }
    SetImage(std::move(picture));
}

CPicLayer::~CPicLayer() = default;

ImageBuffer* CPicLayer::GetImage(float scale, uint32_t fourcc) {
    return RenderScaled(image.get(), scale, fourcc, false);
}
