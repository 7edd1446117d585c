// The per-frame work of the composition thread at 1920x1080: clear the canvas, draw four layers
// (a full-canvas opaque copy, a 640x360 picture with alpha, a 1280x100 colour-keyed text strip,
// a 640x360 picture at opacity 128), convert to YUY2. Budget: 4 ms per frame on one core.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "imaging/color_convert.h"
#include "scene/image_ops.h"

namespace {

constexpr int W = 1920, H = 1080;

std::vector<uint8_t> Pattern(int w, int h, int bpp, uint8_t seed) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * bpp);
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 7 + seed);
    if (bpp == 4)
        for (size_t i = 3; i < px.size(); i += 4) px[i] = static_cast<uint8_t>((i / 4) % 3 == 0 ? 0 : (i / 4) % 256);
    return px;
}

struct Frame {
    std::vector<uint8_t> canvas = std::vector<uint8_t>(static_cast<size_t>(W) * H * 3);
    std::vector<uint8_t> yuy2 = std::vector<uint8_t>(static_cast<size_t>(W) * H * 2);
    std::vector<uint8_t> screen = Pattern(W, H, 3, 1);
    std::vector<uint8_t> logo = Pattern(640, 360, 4, 2);
    std::vector<uint8_t> text = Pattern(1280, 100, 3, 3);
    std::vector<uint8_t> photo = Pattern(640, 360, 3, 4);
    Frame() {
        // Text strips are mostly key colour with glyphs in between.
        for (size_t i = 0; i < text.size(); i += 3)
            if ((i / 3) % 5 != 0) text[i] = text[i + 1] = text[i + 2] = 0;
    }
};

void Compose(Frame& f) {
    uint8_t* c = f.canvas.data();
    std::memset(c, 0, f.canvas.size());
    CopyOpaque(c, W, H, f.screen.data(), W, H, 0, 0);
    AlphaOver(c, W, H, f.logo.data(), 640, 360, 1200, 80);
    CopyColorKeyed(c, W, H, f.text.data(), 1280, 100, 300, 900, ClipRect{300, 900, 1580, 1000}, 0x00000000);
    BlendWithOpacity(c, W, H, f.photo.data(), 640, 360, 100, 400, 128);
}

void BM_ComposeFourLayers1080p(benchmark::State& state) {
    Frame f;
    for (auto _ : state) {
        Compose(f);
        benchmark::DoNotOptimize(f.canvas.data());
    }
}
BENCHMARK(BM_ComposeFourLayers1080p)->Unit(benchmark::kMillisecond);

void BM_ComposeAndConvert1080p(benchmark::State& state) {
    Frame f;
    for (auto _ : state) {
        Compose(f);
        BGRToYUY2(f.canvas.data(), W * 3, f.yuy2.data(), W * 2, W, H);
        benchmark::DoNotOptimize(f.yuy2.data());
    }
}
BENCHMARK(BM_ComposeAndConvert1080p)->Unit(benchmark::kMillisecond);

void BM_ResizeBGR1080pTo720p(benchmark::State& state) {
    std::vector<uint8_t> src = Pattern(W, H, 3, 5);
    std::vector<uint8_t> dst(static_cast<size_t>(1280) * 720 * 3);
    for (auto _ : state) {
        ResizeBGR(src.data(), W, H, W * 3, dst.data(), 1280, 720, 1280 * 3);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_ResizeBGR1080pTo720p)->Unit(benchmark::kMillisecond);

void BM_ChromaKeyMask720p(benchmark::State& state) {
    std::vector<uint8_t> src = Pattern(1280, 720, 3, 6);
    std::vector<uint8_t> dst(static_cast<size_t>(1280) * 720 * 4);
    for (auto _ : state) {
        ChromaKeyMask(dst.data(), 1280 * 4, src.data(), 1280 * 3, 1280, 720, 0x0000FF00, 300);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_ChromaKeyMask720p)->Unit(benchmark::kMillisecond);

}  // namespace
