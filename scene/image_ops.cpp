#include "scene/image_ops.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/color_convert.h"
#include "imaging/composite.h"
#include "imaging/resize.h"

namespace {

// Where a w x h source placed at (x, y) lands on a W x H canvas.
struct Placement {
    int ox, oy;  // first source column and row drawn
    int dx, dy;  // where they land
    int cw, ch;  // copied size; not positive when nothing overlaps
};

bool Place(int W, int H, int w, int h, int x, int y, const void* canvas, const void* src, Placement* p) {
    if (x > W || y > H || canvas == nullptr || src == nullptr) return false;
    p->ox = x < 0 ? -x : 0;
    p->oy = y < 0 ? -y : 0;
    p->dx = std::max(x, 0);
    p->dy = std::max(y, 0);
    // 64-bit so that a far-off position cannot overflow the subtraction.
    p->cw = static_cast<int>(std::min<int64_t>(int64_t{w} - p->ox, int64_t{W} - p->dx));
    p->ch = static_cast<int>(std::min<int64_t>(int64_t{h} - p->oy, int64_t{H} - p->dy));
    return true;
}

uint8_t* CanvasAt(uint8_t* canvas, int W, int x, int y) { return canvas + (static_cast<size_t>(y) * W + x) * 3; }

int CopyRows(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y, bool flipped) {
    Placement p;
    if (!Place(W, H, w, h, x, y, canvas, src, &p)) return -1;
    if (p.cw <= 0 || p.ch <= 0) return 0;
    const size_t srcStride = static_cast<size_t>(w) * 3;
    for (int i = 0; i < p.ch; ++i) {
        const int srcRow = flipped ? (h - 1) - (p.oy + i) : p.oy + i;
        std::memcpy(CanvasAt(canvas, W, p.dx, p.dy + i), src + srcRow * srcStride + static_cast<size_t>(p.ox) * 3,
                    static_cast<size_t>(p.cw) * 3);
    }
    return 0;
}

int AlphaRows(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y, bool flipped) {
    Placement p;
    if (!Place(W, H, w, h, x, y, canvas, src, &p)) return -1;
    if (p.cw <= 0 || p.ch <= 0) return -1;
    const int srcStride = w * 4;
    const uint8_t* first;
    int stride;
    if (flipped) {
        // Rows are stored bottom-up: memory row (h - 1 - r) holds picture row r.
        first = src + static_cast<size_t>(h - 1 - p.oy) * srcStride + static_cast<size_t>(p.ox) * 4;
        stride = -srcStride;
    } else {
        first = src + static_cast<size_t>(p.oy) * srcStride + static_cast<size_t>(p.ox) * 4;
        stride = srcStride;
    }
    AlphaOverBGRAOntoBGR(first, stride, CanvasAt(canvas, W, p.dx, p.dy), W * 3, p.cw, p.ch);
    return 0;
}

void ColourBytes(uint32_t colour, uint8_t out[4]) {
    out[0] = static_cast<uint8_t>(colour >> 16);  // blue
    out[1] = static_cast<uint8_t>(colour >> 8);   // green
    out[2] = static_cast<uint8_t>(colour);        // red
    out[3] = 255;
}

}  // namespace

int ResizeBGR(const uint8_t* src, int sw, int sh, int sstride, uint8_t* dst, int dw, int dh, int dstride) {
    return ResizeLinear(src, sw, sh, sstride, dst, dw, dh, dstride, 3);
}

int ResizeBGRA(const uint8_t* src, int sw, int sh, int sstride, uint8_t* dst, int dw, int dh, int dstride) {
    return ResizeLinear(src, sw, sh, sstride, dst, dw, dh, dstride, 4);
}

int CopyOpaque(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y) {
    return CopyRows(canvas, W, H, src, w, h, x, y, false);
}

int CopyOpaqueFlipped(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y) {
    return CopyRows(canvas, W, H, src, w, h, x, y, true);
}

int AlphaOver(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y) {
    return AlphaRows(canvas, W, H, src, w, h, x, y, false);
}

int AlphaOverFlipped(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y) {
    return AlphaRows(canvas, W, H, src, w, h, x, y, true);
}

int BlendWithOpacity(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y, uint8_t opacity) {
    if (opacity == 255) return CopyOpaque(canvas, W, H, src, w, h, x, y);
    Placement p;
    if (!Place(W, H, w, h, x, y, canvas, src, &p)) return -1;
    if (p.cw <= 0 || p.ch <= 0) return 0;
    BlendConstAlphaBGR(src + (static_cast<size_t>(p.oy) * w + p.ox) * 3, w * 3, CanvasAt(canvas, W, p.dx, p.dy), W * 3,
                       p.cw, p.ch, opacity);
    return 0;
}

int CopyColorKeyed(uint8_t* canvas, int W, int H, const uint8_t* src, int w, int h, int x, int y, ClipRect clip,
                   uint32_t key) {
    if (x > W || y > H || canvas == nullptr || src == nullptr) return -1;
    const int64_t left = std::max<int64_t>(x, clip.left);
    const int64_t top = std::max<int64_t>(y, clip.top);
    const int64_t right = std::min<int64_t>(int64_t{x} + w, clip.right);
    const int64_t bottom = std::min<int64_t>(int64_t{y} + h, clip.bottom);
    if (left >= right || top >= bottom) return -1;
    const int64_t dx = std::max<int64_t>(left, 0);
    const int64_t dy = std::max<int64_t>(top, 0);
    const int64_t ox = dx - x;
    const int64_t oy = dy - y;
    const int64_t cw = std::min(right - dx, int64_t{W} - dx);
    const int64_t ch = std::min(bottom - dy, int64_t{H} - dy);
    if (cw <= 0 || ch <= 0) return -1;
    uint8_t k[4];
    ColourBytes(key, k);
    CopyKeyedBGR(src + (oy * w + ox) * 3, w * 3, CanvasAt(canvas, W, static_cast<int>(dx), static_cast<int>(dy)), W * 3,
                 static_cast<int>(cw), static_cast<int>(ch), k[0], k[1], k[2]);
    return 0;
}

void DrawSelectionFrame(uint8_t* image, int W, int H, ClipRect r) {
    if (image == nullptr) return;
    static const uint8_t white[3] = {255, 255, 255};
    const int x0 = std::max(r.left, 0), x1 = std::min(r.right, W);
    const int y0 = std::max(r.top, 0), y1 = std::min(r.bottom, H);
    const int stride = W * 3;
    if (x1 > x0) {
        if (r.top >= 0 && r.top < H) FillC3(CanvasAt(image, W, x0, r.top), stride, x1 - x0, 1, white);
        if (r.bottom > 0 && r.bottom <= H) FillC3(CanvasAt(image, W, x0, r.bottom - 1), stride, x1 - x0, 1, white);
    }
    if (y1 > y0) {
        if (r.left >= 0 && r.left < W) FillC3(CanvasAt(image, W, r.left, y0), stride, 1, y1 - y0, white);
        if (r.right > 0 && r.right <= W) FillC3(CanvasAt(image, W, r.right - 1, y0), stride, 1, y1 - y0, white);
    }
}

int FillBGR(uint8_t* pixels, int stride, int width, int height, uint32_t colour) {
    uint8_t c[4];
    ColourBytes(colour, c);
    FillC3(pixels, stride, width, height, c);
    return 0;
}

int FillBGRA(uint8_t* pixels, int stride, int width, int height, uint32_t colour) {
    uint8_t c[4];
    ColourBytes(colour, c);
    FillC4(pixels, stride, width, height, c);
    return 0;
}

int ChromaKeyMask(uint8_t* dst, int dstride, const uint8_t* src, int sstride, int width, int height, uint32_t key,
                  uint32_t similarity) {
    if (dst == nullptr || src == nullptr || width <= 0 || height <= 0) return -1;
    // The key's chroma is taken at twice the scale of the pixels' chroma. Stored similarity
    // values were tuned against exactly this measure, so it stays as it is.
    const uint8_t keyRgb[3] = {static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8),
                               static_cast<uint8_t>(key >> 16)};
    uint8_t keyLuv[3];
    RGBToLUV(keyRgb, 3, keyLuv, 3, 1, 1);
    const float ku = keyLuv[1] * 2.0f / 255.0f;
    const float kv = keyLuv[2] * 2.0f / 255.0f;

    // A pixel's distance depends only on its two chroma bytes: one table per key colour, kept per
    // thread for the next frame of the same key.
    struct DistanceTable {
        float ku = -1.0f, kv = -1.0f;
        std::vector<float> distance;
    };
    thread_local DistanceTable table;
    if (table.distance.empty() || table.ku != ku || table.kv != kv) {
        table.distance.resize(256 * 256);
        for (int cu = 0; cu < 256; ++cu) {
            for (int cv = 0; cv < 256; ++cv) {
                const float u = cu / 255.0f - ku;
                const float v = cv / 255.0f - kv;
                table.distance[cu * 256 + cv] = std::sqrt(u * u + v * v);
            }
        }
        table.ku = ku;
        table.kv = kv;
    }
    const float* distanceOf = table.distance.data();

    // Worked in strips of three rows, so that the intermediate values stay in the cache: each row's
    // chroma distances are summed horizontally into a ring of three rows, and a row's mask is made
    // once the row below it is ready.
    CopyC3ToAC4(src, sstride, dst, dstride, width, height);
    const size_t w = static_cast<size_t>(width);
    std::vector<uint8_t> luv(w * 3);
    std::vector<float> dist(w);
    std::vector<float> ring(w * 3);
    std::vector<float> column(w);
    auto sumRow = [&](int y) {
        // The pixel's bytes in memory order (blue, green, red) are read as red, green, blue.
        RGBToLUV(src + static_cast<size_t>(y) * sstride, sstride, luv.data(), width * 3, width, 1);
        for (size_t i = 0; i < w; ++i) dist[i] = distanceOf[luv[i * 3 + 1] * 256 + luv[i * 3 + 2]];
        // The 3 x 3 mean, counting only neighbours inside the image, as a horizontal then a
        // vertical box sum (the counts multiply the same way: 2 or 3 columns times 2 or 3 rows).
        float* out = ring.data() + static_cast<size_t>(y % 3) * w;
        auto sumAt = [&](int x) {
            float sum = dist[x];
            if (x > 0) sum += dist[x - 1];
            if (x + 1 < width) sum += dist[x + 1];
            out[x] = sum;
        };
        sumAt(0);
        int x = 1;
#if defined(__SSE2__)
        // The same additions in the same order, four columns at a time.
        for (; x + 4 <= width - 1; x += 4) {
            const __m128 left = _mm_loadu_ps(&dist[x - 1]);
            const __m128 right = _mm_loadu_ps(&dist[x + 1]);
            _mm_storeu_ps(out + x, _mm_add_ps(_mm_add_ps(_mm_loadu_ps(&dist[x]), left), right));
        }
#endif
        for (; x < width; ++x) sumAt(x);
    };
    // sums = mid (+ up) (+ down), in that order.
    auto addRows = [](float* sums, const float* other, size_t count) {
        size_t x = 0;
#if defined(__SSE2__)
        for (; x + 4 <= count; x += 4)
            _mm_storeu_ps(sums + x, _mm_add_ps(_mm_loadu_ps(sums + x), _mm_loadu_ps(other + x)));
#endif
        for (; x < count; ++x) sums[x] += other[x];
    };
    const float threshold = static_cast<float>(similarity) / 1000.0f;
    sumRow(0);
    for (int y = 0; y < height; ++y) {
        if (y + 1 < height) sumRow(y + 1);
        uint8_t* row = dst + static_cast<size_t>(y) * dstride;
        const float* mid = ring.data() + static_cast<size_t>(y % 3) * w;
        const float* up = y > 0 ? ring.data() + static_cast<size_t>((y - 1) % 3) * w : nullptr;
        const float* down = y + 1 < height ? ring.data() + static_cast<size_t>((y + 1) % 3) * w : nullptr;
        const int rows = 1 + (up != nullptr) + (down != nullptr);
        float* sums = column.data();
        std::memcpy(sums, mid, w * sizeof(float));
        if (up) addRows(sums, up, w);
        if (down) addRows(sums, down, w);
        auto maskAt = [&](int x, int cols) {
            const float mean = sums[x] / static_cast<float>(rows * cols) / 3.0f;
            row[x * 4 + 3] = threshold > mean ? 0 : 255;
        };
        maskAt(0, width > 1 ? 2 : 1);
        if (width > 1) maskAt(width - 1, 2);
        int x = 1;
#if defined(__SSE2__)
        const __m128 count = _mm_set1_ps(static_cast<float>(rows * 3));
        const __m128 three = _mm_set1_ps(3.0f);
        const __m128 limit = _mm_set1_ps(threshold);
        for (; x + 4 <= width - 1; x += 4) {
            const __m128 mean = _mm_div_ps(_mm_div_ps(_mm_loadu_ps(sums + x), count), three);
            const int keyed = _mm_movemask_ps(_mm_cmpgt_ps(limit, mean));
            for (int k = 0; k < 4; ++k) row[(x + k) * 4 + 3] = (keyed >> k) & 1 ? 0 : 255;
        }
#endif
        for (; x < width - 1; ++x) maskAt(x, 3);
    }
    return 0;
}
