// Test media for the picture and GIF layers, made fresh in a temporary folder by every test:
// still pictures written by the ffmpeg program from pixels the test chooses, and GIF files
// written here byte by byte, so that frame rectangles, delays and transparency are exact.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/media_dir.h"

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes a w x h picture from RGBA pixels (row by row) with ffmpeg, stored in pixFmt by the
// encoder the file name's extension selects (or codec when given). Returns the path, or "" on failure.
inline std::string MakePicture(const MediaDir& dir, const std::string& name, int w, int h,
                               const std::vector<uint8_t>& rgba, const std::string& pixFmt,
                               const std::string& codec = "") {
    const std::string raw = dir.Path(name + ".rgba");
    if (!WriteBytes(raw, rgba)) return "";
    std::vector<std::string> args = {
        "-f", "rawvideo", "-pix_fmt",  "rgba", "-s",       std::to_string(w) + "x" + std::to_string(h),
        "-i", raw,        "-frames:v", "1",    "-pix_fmt", pixFmt};
    if (!codec.empty()) args.insert(args.end(), {"-c:v", codec});
    args.push_back(dir.Path(name));
    return RunFfmpeg(args) ? dir.Path(name) : "";
}

// RGBA pixels of one colour.
inline std::vector<uint8_t> Solid(int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = r;
        px[i + 1] = g;
        px[i + 2] = b;
        px[i + 3] = a;
    }
    return px;
}

// RGBA pixels where every pixel differs from its neighbours, so a misplaced row or a swapped
// channel shows.
inline std::vector<uint8_t> Pattern(int w, int h, uint8_t a = 255) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
            p[0] = static_cast<uint8_t>(x * 16 + 5);
            p[1] = static_cast<uint8_t>(y * 24 + 9);
            p[2] = static_cast<uint8_t>((x + y) * 7 + 100);
            p[3] = a;
        }
    return px;
}

// One image of a GIF: a rectangle of palette indices with its display time.
struct GifImage {
    int x = 0, y = 0, w = 0, h = 0;
    uint16_t delay = 0;            // hundredths of a second, as stored
    int transparent = -1;          // palette index shown as transparent, or -1
    int disposal = 1;              // 1 keep, 2 restore to background
    std::vector<uint8_t> indices;  // w x h; empty means every pixel is fill
    uint8_t fill = 0;
};

// A GIF89a file with a 256-entry global palette (RGB triples; missing entries are black). The
// image data is LZW with a clear code before the table would grow, which every decoder reads.
inline std::vector<uint8_t> EncodeGif(int w, int h, const std::vector<uint32_t>& paletteRgb,
                                      const std::vector<GifImage>& images) {
    std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a'};
    auto u16 = [&](int v) {
        b.push_back(static_cast<uint8_t>(v & 0xFF));
        b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    };
    u16(w);
    u16(h);
    b.insert(b.end(), {0xF7, 0, 0});  // global table of 256 entries, background index 0
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = i < static_cast<int>(paletteRgb.size()) ? paletteRgb[static_cast<size_t>(i)] : 0;
        b.insert(b.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
    }
    const char loop[] = "\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00";
    b.insert(b.end(), loop, loop + sizeof(loop) - 1);
    for (const GifImage& im : images) {
        b.insert(b.end(), {0x21, 0xF9, 0x04});
        b.push_back(static_cast<uint8_t>((im.disposal << 2) | (im.transparent >= 0 ? 1 : 0)));
        u16(im.delay);
        b.push_back(static_cast<uint8_t>(im.transparent >= 0 ? im.transparent : 0));
        b.push_back(0);
        b.push_back(0x2C);
        u16(im.x);
        u16(im.y);
        u16(im.w);
        u16(im.h);
        b.push_back(0);
        // 8-bit codes from a 9-bit alphabet: clear before the decoder's table reaches 512.
        constexpr int kMinCode = 8, kClear = 1 << kMinCode, kEnd = kClear + 1, kBits = kMinCode + 1;
        std::vector<int> codes = {kClear};
        int sinceClear = 0;
        const size_t count = static_cast<size_t>(im.w) * im.h;
        for (size_t i = 0; i < count; ++i) {
            if (sinceClear == kClear - 2) {
                codes.push_back(kClear);
                sinceClear = 0;
            }
            codes.push_back(im.indices.empty() ? im.fill : im.indices[i]);
            ++sinceClear;
        }
        codes.push_back(kEnd);
        std::vector<uint8_t> data;
        uint32_t acc = 0;
        int bits = 0;
        for (int c : codes) {
            acc |= static_cast<uint32_t>(c) << bits;
            bits += kBits;
            while (bits >= 8) {
                data.push_back(static_cast<uint8_t>(acc & 0xFF));
                acc >>= 8;
                bits -= 8;
            }
        }
        if (bits > 0) data.push_back(static_cast<uint8_t>(acc & 0xFF));
        b.push_back(kMinCode);
        for (size_t i = 0; i < data.size(); i += 255) {
            const size_t n = std::min<size_t>(255, data.size() - i);
            b.push_back(static_cast<uint8_t>(n));
            b.insert(b.end(), data.begin() + static_cast<ptrdiff_t>(i), data.begin() + static_cast<ptrdiff_t>(i + n));
        }
        b.push_back(0);
    }
    b.push_back(0x3B);
    return b;
}
