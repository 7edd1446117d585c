// The newest video frame of a capture or media device. SourceKit's callback thread stores every
// delivered frame into it; the composition thread copies it out once per composed frame. Only the
// newest frame is kept, so a slow composition skips frames instead of building a backlog. Both
// copies reuse their buffers while width, height and format stay the same.
#pragma once

#include <cstdint>
#include <mutex>

#include "scene/imaging/image_buffer.h"

// The deinterlace threshold applied to capture frames.
constexpr int kDeinterlaceThreshold = 2041;

class CLatestFrame {
public:
    // Takes a private copy of frame (SourceKit thread); with deinterlace, the copy is then
    // deinterlaced in place as one 8-bit plane of stride bytes x height rows. False for a frame
    // that describes no usable pixels (it is ignored and the previous frame stays).
    bool Store(const ImageBuffer* frame, bool deinterlace);
    // Copies the newest frame into *image, replacing *image when it is missing or differs in
    // width, height or format. 0, or -1 when no frame is held (*image is then left alone).
    int32_t CopyTo(ImageBuffer** image) const;
    // Forgets the frame (after a seek: the picture before it must not be shown again).
    void Drop();
    bool Has() const;

private:
    mutable std::mutex lock_;
    ImageBufferPtr frame_;
};

// Copies the pixels of src into dst of the same width, height and format, row by row when their
// strides differ.
void CopyImagePixels(ImageBuffer* dst, const ImageBuffer* src);
