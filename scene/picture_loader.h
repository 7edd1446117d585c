// Decodes picture files for the picture and GIF layers with FFmpeg's image decoders (PNG, JPEG,
// BMP, GIF). Called on the main thread while a layer is made; nothing stays open afterwards.
// Every failure is logged once with the "[scene]" prefix and returned as null or false.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/image_buffer.h"

// A decoded still picture, top row first: blue, green, red for 24 bits per pixel; blue, green,
// red, straight (not premultiplied) alpha for 32.
class CPictureBitmap {
public:
    explicit CPictureBitmap(ImageBufferPtr pixels) : pixels_(std::move(pixels)) {}

    const uint8_t* Top() const { return pixels_->planes[0]; }
    int Width() const { return pixels_->width; }
    int Height() const { return pixels_->height; }
    int RowDistance() const { return pixels_->strides[0]; }
    int BitsPerPixel() const { return BytesPerPixel(pixels_->fourcc) * 8; }

private:
    ImageBufferPtr pixels_;
};

// Decodes the first picture of a file. Opaque true-colour pictures (RGB, JPEG's YCbCr, a 32-bit
// BMP whose fourth bytes are all zero) come out at 24 bits per pixel; 8-bit-per-channel pictures
// with an alpha channel at 32. Anything else (palette, grey, 16 bits per channel, ...) is refused:
// null, as for a file that cannot be decoded.
std::unique_ptr<CPictureBitmap> LoadPicture(const std::string& path);

// The frames of an animated picture (a GIF) as the decoder composes them: each frame is the whole
// picture in BGRA with straight alpha, the file's disposal rules already applied.
class CGifFile {
public:
    CGifFile();
    ~CGifFile();
    CGifFile(const CGifFile&) = delete;
    CGifFile& operator=(const CGifFile&) = delete;

    // Reads the header and the compressed data of every frame; false when the file cannot be
    // read as a picture.
    bool Open(const std::string& path);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int FrameCount() const { return static_cast<int>(delays_.size()); }
    // The display time the file gives frame i, in hundredths of a second. A GIF frame that
    // stores 0 (or has no delay at all) reports 10, the display time such frames get.
    uint32_t Delay(int i) const { return delays_[static_cast<size_t>(i)]; }

    // Decodes the frames in order and hands each one that decodes to onFrame (frame index, BGRA
    // pixels, bytes per row). Frames that fail to decode are skipped. Returns how many were handed.
    using FrameFn = std::function<void(int index, const uint8_t* bgra, int stride)>;
    int DecodeFrames(const FrameFn& onFrame);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string path_;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> delays_;
};
