// The newest video frame of a capture or media device. SourceKit's callback thread stores every
// delivered frame into it; the composition thread copies it out once per composed frame. Only the
// newest frame is kept, so a slow composition skips frames instead of building a backlog. Both
// copies reuse their buffers while width, height and format stay the same.
#pragma once

#include <cstdint>
#include <mutex>

#include "imaging/image_buffer.h"

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
    // As CopyTo for a caller that keeps its copy: *sequence names the frame *image holds (0 for
    // none). 1 when the newest frame was copied (and *sequence updated), 0 when *image already
    // holds it (nothing copied: a paused file or a source slower than the composition), -1 when
    // no frame is held.
    int32_t CopyIfNew(ImageBuffer** image, uint64_t* sequence) const;
    // Forgets the frame (after a seek: the picture before it must not be shown again).
    void Drop();
    bool Has() const;

private:
    int32_t CopyLocked(ImageBuffer** image) const;

    mutable std::mutex lock_;
    ImageBufferPtr frame_;
    uint64_t sequence_ = 0;  // of the frame held; counts every stored frame
};

// Copies the pixels of src into dst of the same width, height and format, row by row when their
// strides differ.
void CopyImagePixels(ImageBuffer* dst, const ImageBuffer* src);
