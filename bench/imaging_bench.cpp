// Per-frame costs of the pixel primitives at the sizes the program composes.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "imaging/color_convert.h"
#include "imaging/composite.h"
#include "imaging/deinterlace.h"
#include "imaging/resize.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// A text-like overlay: mostly transparent, opaque glyph strokes with anti-aliased edges.
std::vector<uint8_t> OverlayBGRA(int w, int h) {
    auto pixels = RandomBytes(static_cast<size_t>(w) * h * 4, 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int phase = (x + y / 4) % 40;
            pixels[(static_cast<size_t>(y) * w + x) * 4 + 3] = phase < 24   ? 0
                                                               : phase < 26 ? 96
                                                               : phase < 36 ? 255
                                                               : phase < 38 ? 160
                                                                            : 0;
        }
    return pixels;
}

void BM_BGRToYUY2_1080p(benchmark::State& state) {
    const int w = 1920, h = 1080;
    const auto src = RandomBytes(w * 3 * h, 1);
    std::vector<uint8_t> dst(w * 2 * h);
    for (auto _ : state) {
        BGRToYUY2(src.data(), w * 3, dst.data(), w * 2, w, h);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_BGRToYUY2_1080p)->Unit(benchmark::kMillisecond);

void BM_YUY2ToBGR_1080p(benchmark::State& state) {
    const int w = 1920, h = 1080;
    const auto src = RandomBytes(w * 2 * h, 1);
    std::vector<uint8_t> dst(w * 3 * h);
    for (auto _ : state) {
        YUY2ToBGR(src.data(), w * 2, dst.data(), w * 3, w, h);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_YUY2ToBGR_1080p)->Unit(benchmark::kMillisecond);

void BM_ResizeLinearBGR_1080pTo720p(benchmark::State& state) {
    const auto src = RandomBytes(1920 * 3 * 1080, 1);
    std::vector<uint8_t> dst(1280 * 3 * 720);
    for (auto _ : state) {
        ResizeLinear(src.data(), 1920, 1080, 1920 * 3, dst.data(), 1280, 720, 1280 * 3, 3);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_ResizeLinearBGR_1080pTo720p)->Unit(benchmark::kMillisecond);

void BM_AlphaOver_640x360(benchmark::State& state) {
    const int w = 640, h = 360;
    const auto src = state.range(0) ? OverlayBGRA(w, h) : RandomBytes(w * 4 * h, 2);
    auto dst = RandomBytes(w * 3 * h, 3);
    for (auto _ : state) {
        AlphaOverBGRAOntoBGR(src.data(), w * 4, dst.data(), w * 3, w, h);
        benchmark::DoNotOptimize(dst.data());
    }
}
// 0: random alpha everywhere (worst case); 1: text-like overlay.
BENCHMARK(BM_AlphaOver_640x360)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_BlendConstAlpha_640x360(benchmark::State& state) {
    const int w = 640, h = 360;
    const auto src = RandomBytes(w * 3 * h, 4);
    auto dst = RandomBytes(w * 3 * h, 5);
    for (auto _ : state) {
        BlendConstAlphaBGR(src.data(), w * 3, dst.data(), w * 3, w, h, 100);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_BlendConstAlpha_640x360)->Unit(benchmark::kMillisecond);

void BM_CopyKeyed_1280x100(benchmark::State& state) {
    const int w = 1280, h = 100;
    auto src = RandomBytes(w * 3 * h, 6);
    for (size_t i = 0; i < src.size(); i += 3)
        if (src[i] & 1) src[i] = src[i + 1] = src[i + 2] = 255;  // half the pixels are the key
    auto dst = RandomBytes(w * 3 * h, 7);
    for (auto _ : state) {
        CopyKeyedBGR(src.data(), w * 3, dst.data(), w * 3, w, h, 255, 255, 255);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_CopyKeyed_1280x100)->Unit(benchmark::kMillisecond);

void BM_YUY2ToI420_1080p(benchmark::State& state) {
    const int w = 1920, h = 1080;
    const auto src = RandomBytes(w * 2 * h, 8);
    std::vector<uint8_t> y(w * h), u(w / 2 * h / 2), v(w / 2 * h / 2);
    for (auto _ : state) {
        YUY2ToI420(src.data(), w * 2, y.data(), w, u.data(), w / 2, v.data(), w / 2, w, h);
        benchmark::DoNotOptimize(y.data());
    }
}
BENCHMARK(BM_YUY2ToI420_1080p)->Unit(benchmark::kMillisecond);

// Clearing the canvas, an opaque full-canvas picture, the three blended layer kinds, then the YUY2
// conversion for the encoder: the per-frame budget is 4 ms on one core.
void BM_ComposeFrame_1080p(benchmark::State& state) {
    const int w = 1920, h = 1080;
    std::vector<uint8_t> canvas(w * 3 * h), yuy2(w * 2 * h);
    const auto background = RandomBytes(w * 3 * h, 9);
    const auto overlay = OverlayBGRA(640, 360);
    const auto picture = RandomBytes(640 * 3 * 360, 10);
    auto caption = RandomBytes(1280 * 3 * 100, 11);
    for (size_t i = 0; i < caption.size(); i += 3)
        if ((i / 3) % 7 < 5) caption[i] = caption[i + 1] = caption[i + 2] = 255;
    const uint8_t black[3] = {0, 0, 0};
    for (auto _ : state) {
        FillC3(canvas.data(), w * 3, w, h, black);
        BlendConstAlphaBGR(background.data(), w * 3, canvas.data(), w * 3, w, h, 255);  // opaque: a row copy
        AlphaOverBGRAOntoBGR(overlay.data(), 640 * 4, canvas.data() + (100 * w + 100) * 3, w * 3, 640, 360);
        BlendConstAlphaBGR(picture.data(), 640 * 3, canvas.data() + (500 * w + 1000) * 3, w * 3, 640, 360, 160);
        CopyKeyedBGR(caption.data(), 1280 * 3, canvas.data() + (950 * w + 300) * 3, w * 3, 1280, 100, 255, 255, 255);
        BGRToYUY2(canvas.data(), w * 3, yuy2.data(), w * 2, w, h);
        benchmark::DoNotOptimize(yuy2.data());
    }
}
BENCHMARK(BM_ComposeFrame_1080p)->Unit(benchmark::kMillisecond);

void BM_CopyAC4ToC3_1080p(benchmark::State& state) {
    const int w = 1920, h = 1080;
    const auto src = RandomBytes(w * 4 * h, 14);
    std::vector<uint8_t> dst(w * 3 * h);
    for (auto _ : state) {
        CopyAC4ToC3(src.data(), w * 4, dst.data(), w * 3, w, h);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_CopyAC4ToC3_1080p)->Unit(benchmark::kMillisecond);

void BM_RGBToLUV_1080p(benchmark::State& state) {
    const int w = 1920, h = 1080;
    const auto src = RandomBytes(w * 3 * h, 12);
    std::vector<uint8_t> dst(w * 3 * h);
    for (auto _ : state) {
        RGBToLUV(src.data(), w * 3, dst.data(), w * 3, w, h);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_RGBToLUV_1080p)->Unit(benchmark::kMillisecond);

void BM_Deinterlace_1080pLuma(benchmark::State& state) {
    const int w = 1920, h = 1080;
    auto image = RandomBytes(w * h, 13);
    for (auto _ : state) {
        DeinterlaceFilter(image.data(), w, image.data(), w, w, h, 2041);
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(BM_Deinterlace_1080pLuma)->Unit(benchmark::kMillisecond);

}  // namespace
