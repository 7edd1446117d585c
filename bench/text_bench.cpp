// Per-frame cost of captions on a 1920x1080 canvas, as the composition thread pays it: GetImage,
// GetPosition and the colour-keyed copy clipped to the caption's box. A still caption must cost
// only its copy; a scrolling one the same plus the position. Re-rendering (after a resize) and the
// information overlay's re-render are measured for comparison: they happen only when flagged.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "scene/image_ops.h"
#include "scene/info_layer.h"
#include "scene/text_layer.h"

namespace {

constexpr int W = 1920, H = 1080;
constexpr float kScale = W / 720.0f;

struct CaptionFrame {
    std::vector<uint8_t> canvas = std::vector<uint8_t>(static_cast<size_t>(W) * H * 3, 0x40);
    uint32_t now = 0;
    CTxtLayer layer;

    explicit CaptionFrame(int32_t speed)
        : layer("BrevacastPC 直播字幕 caption across the lower third", Style(speed), kFourccRV24,
                [this] { return now; }) {
        // A strip across the lower third of the view, 2.67 times larger on the canvas.
        layer.SetRect(LayerRect{20, 320, 700, 370});
        layer.reRender = 1;
        layer.GetImage(kScale, kFourccRV24);
    }

    static TextStyle Style(int32_t speed) {
        TextStyle style;
        style.FaceName = "微软雅黑";
        style.rgbColor = 0x00FFFFFF;
        style.Bold = 1;
        style.MoveSpeed = speed;
        style.MoveDirection = kTextRightToLeft;
        return style;
    }

    void Draw() {
        ImageBuffer* image = layer.GetImage(kScale, kFourccRV24);
        if (image == nullptr) return;
        LayerPoint at;
        layer.GetPosition(&at, kScale);
        const LayerRect r = layer.GetRect();
        const ClipRect clip{static_cast<int32_t>(r.left * kScale), static_cast<int32_t>(r.top * kScale),
                            static_cast<int32_t>(r.right * kScale), static_cast<int32_t>(r.bottom * kScale)};
        CopyColorKeyed(canvas.data(), W, H, image->planes[0], image->width, image->height, at.x, at.y, clip,
                       layer.keyColor);
    }
};

void BM_StillCaptionFrame1080p(benchmark::State& state) {
    CaptionFrame f(0);
    for (auto _ : state) {
        f.Draw();
        benchmark::DoNotOptimize(f.canvas.data());
    }
    state.counters["image_px"] = f.layer.Image() ? f.layer.Image()->width * f.layer.Image()->height : 0;
}
BENCHMARK(BM_StillCaptionFrame1080p)->Unit(benchmark::kMicrosecond);

void BM_ScrollingCaptionFrame1080p(benchmark::State& state) {
    CaptionFrame f(2);
    for (auto _ : state) {
        f.now += 40;  // one frame at 25 frames per second
        f.Draw();
        benchmark::DoNotOptimize(f.canvas.data());
    }
}
BENCHMARK(BM_ScrollingCaptionFrame1080p)->Unit(benchmark::kMicrosecond);

// Only the copy: what a still caption's frame should cost.
void BM_CaptionCopyOnly1080p(benchmark::State& state) {
    CaptionFrame f(0);
    const ImageBuffer* image = f.layer.Image();
    LayerPoint at;
    f.layer.GetPosition(&at, kScale);
    const ClipRect clip{0, 0, W, H};
    for (auto _ : state) {
        CopyColorKeyed(f.canvas.data(), W, H, image->planes[0], image->width, image->height, at.x, at.y, clip,
                       f.layer.keyColor);
        benchmark::DoNotOptimize(f.canvas.data());
    }
}
BENCHMARK(BM_CaptionCopyOnly1080p)->Unit(benchmark::kMicrosecond);

void BM_CaptionRerender1080p(benchmark::State& state) {
    CaptionFrame f(0);
    for (auto _ : state) {
        f.layer.reRender = 1;
        benchmark::DoNotOptimize(f.layer.GetImage(kScale, kFourccRV24));
    }
}
BENCHMARK(BM_CaptionRerender1080p)->Unit(benchmark::kMillisecond);

void BM_InfoOverlayRerender(benchmark::State& state) {
    CInfoLayer info("直播中 00:12:34\n1920x1080 25 fps 4000 kbps", kFourccRV24);
    for (auto _ : state) {
        info.SetText("直播中 00:12:35\n1920x1080 25 fps 4000 kbps");
        benchmark::DoNotOptimize(info.GetImage(1.0f, kFourccRV24));
    }
}
BENCHMARK(BM_InfoOverlayRerender)->Unit(benchmark::kMicrosecond);

}  // namespace
