// Per composed frame cost of camera and media layers on a 1920x1080 canvas: what the composition
// thread does for them every frame (GetImage: the copy out of the device, YUY2 to BGR, scaling,
// the chroma key; then the draw the scene uses for the kind). Devices are fed the way SourceKit
// feeds them, one new 1280x720 frame per composed frame, so every step runs as in a live.
#include <benchmark/benchmark.h>

#include <vector>

#include "imaging/color_convert.h"
#include "scene/dev_layer.h"
#include "scene/file_layer.h"
#include "scene/image_ops.h"

namespace {

constexpr int W = 1920, H = 1080;
constexpr float kScale = W / 720.0f;
constexpr int kFrameW = 1280, kFrameH = 720;

// A BGR picture with a green backdrop and a moving coloured block, in the format asked for.
ImageBufferPtr MakeFrame(uint32_t fourcc, int shift) {
    ImageBufferPtr bgr(CreateImageBuffer(kFrameW, kFrameH, kFourccRV24));
    for (int y = 0; y < kFrameH; ++y) {
        uint8_t* row = bgr->planes[0] + static_cast<size_t>(y) * bgr->strides[0];
        for (int x = 0; x < kFrameW; ++x) {
            const bool block = x > 300 + shift && x < 900 + shift && y > 100 && y < 650;
            row[x * 3 + 0] = block ? static_cast<uint8_t>(x) : 30;
            row[x * 3 + 1] = block ? static_cast<uint8_t>(y) : 200;
            row[x * 3 + 2] = block ? 220 : 40;
        }
    }
    if (fourcc == kFourccRV24) return bgr;
    ImageBufferPtr yuy2(CreateImageBuffer(kFrameW, kFrameH, kFourccYUY2));
    BGRToYUY2(bgr->planes[0], bgr->strides[0], yuy2->planes[0], yuy2->strides[0], kFrameW, kFrameH);
    return yuy2;
}

void Draw(std::vector<uint8_t>* canvas, CBaseLayer& layer, ImageBuffer* image, bool keyed) {
    if (image == nullptr) return;
    LayerPoint at;
    layer.GetPosition(&at, kScale);
    const uint8_t* src = image->planes[0];
    if (keyed)
        AlphaOverFlipped(canvas->data(), W, H, src, image->width, image->height, at.x, at.y);
    else if (layer.bottomUp)
        CopyOpaqueFlipped(canvas->data(), W, H, src, image->width, image->height, at.x, at.y);
    else
        CopyOpaque(canvas->data(), W, H, src, image->width, image->height, at.x, at.y);
}

// A media file's 1280x720 YUY2 picture drawn into the given view rectangle.
void RunMediaLayer(benchmark::State& state, const LayerRect& rect) {
    auto* device = new CFileDevice("clip.mp4", nullptr, 3, 0, kFrameW, kFrameH, 100, 0);
    CFileLayer layer("clip.mp4", device, kFourccRV24);
    layer.SetRect(rect);
    const ImageBufferPtr frames[2] = {MakeFrame(kFourccYUY2, 0), MakeFrame(kFourccYUY2, 40)};
    std::vector<uint8_t> canvas(static_cast<size_t>(W) * H * 3);
    int n = 0;
    for (auto _ : state) {
        device->DeliverFrame(frames[n++ & 1].get());
        Draw(&canvas, layer, layer.GetImage(kScale, kFourccRV24), false);
        benchmark::DoNotOptimize(canvas.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// Scaled to the whole 1920x1080 canvas.
void BM_MediaLayer720pOnto1080p(benchmark::State& state) { RunMediaLayer(state, LayerRect{0, 0, 720, 405}); }
BENCHMARK(BM_MediaLayer720pOnto1080p)->Unit(benchmark::kMillisecond);

// A paused file (or one that has ended): the same frame composed again and again costs only the
// draw, not another copy, conversion and scaling.
void BM_PausedMediaLayer720pOnto1080p(benchmark::State& state) {
    auto* device = new CFileDevice("clip.mp4", nullptr, 3, 0, kFrameW, kFrameH, 100, 0);
    CFileLayer layer("clip.mp4", device, kFourccRV24);
    layer.SetRect(LayerRect{0, 0, 720, 405});
    const ImageBufferPtr frame = MakeFrame(kFourccYUY2, 0);
    device->DeliverFrame(frame.get());
    std::vector<uint8_t> canvas(static_cast<size_t>(W) * H * 3);
    for (auto _ : state) {
        Draw(&canvas, layer, layer.GetImage(kScale, kFourccRV24), false);
        benchmark::DoNotOptimize(canvas.data());
    }
}
BENCHMARK(BM_PausedMediaLayer720pOnto1080p)->Unit(benchmark::kMillisecond);

// Shown at its own size (no scaling): the copies and the conversion alone.
void BM_MediaLayer720pUnscaled(benchmark::State& state) { RunMediaLayer(state, LayerRect{0, 0, 480, 270}); }
BENCHMARK(BM_MediaLayer720pUnscaled)->Unit(benchmark::kMillisecond);

// A 1280x720 camera (bottom-up BGR, as SourceKit delivers it) keyed on its green backdrop and
// laid over the canvas at its own size; Arg 1 deinterlaces every delivered frame as well.
void BM_ChromaKeyedCamera720p(benchmark::State& state) {
    auto* device = new CVideoDevice("camera", nullptr, 0, kFrameW, kFrameH);
    device->deinterlace = static_cast<uint8_t>(state.range(0));
    ChromaOptions chroma;
    chroma.chromaKey = 1;
    chroma.keyColor = 0x0028C81E;  // the backdrop, 0x00BBGGRR
    chroma.similarity = 300;
    CDevLayer layer("camera", device, chroma, kFourccRV24);
    layer.SetRect(LayerRect{0, 0, 480, 270});
    const ImageBufferPtr frames[2] = {MakeFrame(kFourccRV24, 0), MakeFrame(kFourccRV24, 40)};
    std::vector<uint8_t> canvas(static_cast<size_t>(W) * H * 3, 90);
    int n = 0;
    for (auto _ : state) {
        device->DeliverFrame(frames[n++ & 1].get());
        Draw(&canvas, layer, layer.GetImage(kScale, kFourccRV24), true);
        benchmark::DoNotOptimize(canvas.data());
    }
}
BENCHMARK(BM_ChromaKeyedCamera720p)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The device side alone: one delivered 1280x720 YUY2 frame copied under the frame lock (what
// SourceKit's thread pays per frame).
void BM_DeliverFrame720p(benchmark::State& state) {
    CFileDevice* device = new CFileDevice("clip.mp4", nullptr, 3, 0, kFrameW, kFrameH, 100, 0);
    const ImageBufferPtr frame = MakeFrame(kFourccYUY2, 0);
    for (auto _ : state) device->DeliverFrame(frame.get());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame->strides[0]) * kFrameH);
    device->Release();
}
BENCHMARK(BM_DeliverFrame720p)->Unit(benchmark::kMicrosecond);

}  // namespace
