#include "scene/picture32_layer.h"

#include <cstring>

CPic32Layer::CPic32Layer(const std::string& name, const CPictureBitmap& bitmap) {
    sourceName = name;
    ImageBufferPtr picture(CreateImageBuffer(bitmap.Width(), bitmap.Height(), kFourccRV32));
    if (!picture) return;
    const size_t rowBytes = static_cast<size_t>(bitmap.Width()) * 4;
    for (int y = 0; y < bitmap.Height(); ++y) {
        uint8_t* row = picture->planes[0] + static_cast<size_t>(y) * picture->strides[0];
        if (bitmap.BitsPerPixel() == 32)
            std::memcpy(row, bitmap.Top() + static_cast<ptrdiff_t>(y) * bitmap.RowDistance(), rowBytes);
        else
            std::memset(row, 0, rowBytes);
    }
    SetImage(std::move(picture));
}

CPic32Layer::~CPic32Layer() = default;

ImageBuffer* CPic32Layer::GetImage(float scale, uint32_t) {
    return RenderScaled(image.get(), scale, kFourccRV32, false);
}
