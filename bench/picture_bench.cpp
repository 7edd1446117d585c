// Per-frame cost of picture and GIF layers on a 1920x1080 canvas: what the composition thread
// does for each of them every frame (GetImage, then the draw the scene uses for the kind).
// A still picture must cost only its copy (or blend) per frame: its scaling happens once per
// size, which BM_StillPictureRescaledEveryFrame shows by forcing it.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "scene/gif_layer.h"
#include "scene/image_ops.h"
#include "scene/layer_factory.h"
#include "scene/layer_node.h"
#include "tests/scene/picture_test_media.h"

namespace {

constexpr int W = 1920, H = 1080;
constexpr float kScale = W / 720.0f;

struct Canvas {
    std::vector<uint8_t> pixels = std::vector<uint8_t>(static_cast<size_t>(W) * H * 3, 40);
};

// Draws the layer as the scene does for its kind.
void DrawLayer(Canvas& canvas, CBaseLayer& layer, int kind) {
    ImageBuffer* image = layer.GetImage(kScale, kFourccRV24);
    if (image == nullptr) return;
    LayerPoint at;
    layer.GetPosition(&at, kScale);
    uint8_t* c = canvas.pixels.data();
    if (kind == kLayerPicture)
        BlendWithOpacity(c, W, H, image->planes[0], image->width, image->height, at.x, at.y, layer.opacity);
    else
        AlphaOver(c, W, H, image->planes[0], image->width, image->height, at.x, at.y);
}

struct Pictures {
    MediaDir dir;
    std::string opaque, alpha, gif;
    Pictures() {
        opaque = MakePicture(dir, "photo.png", 640, 360, Pattern(640, 360), "rgb24");
        alpha = MakePicture(dir, "logo.png", 640, 360, Pattern(640, 360, 180), "rgba");
        // Four frames that each repaint the whole picture, with a transparent stripe.
        std::vector<uint32_t> palette(256);
        for (uint32_t i = 0; i < 256; ++i) palette[i] = (i * 0x010307u) & 0xFFFFFF;
        std::vector<GifImage> frames;
        for (int f = 0; f < 4; ++f) {
            GifImage im;
            im.w = 640;
            im.h = 360;
            im.delay = 10;
            im.transparent = 255;
            im.indices.resize(640u * 360u);
            for (size_t i = 0; i < im.indices.size(); ++i)
                im.indices[i] = (i % 640) < 40 ? 255 : static_cast<uint8_t>((i / 640 + i % 640 + f * 50) % 250);
            frames.push_back(std::move(im));
        }
        gif = dir.Path("anim.gif");
        WriteBytes(gif, EncodeGif(640, 360, palette, frames));
    }
};

Pictures& Media() {
    static Pictures pictures;
    return pictures;
}

std::unique_ptr<CBaseLayer> MakeLayer(const std::string& path, int opacity, int* kind) {
    LayerArgs args;
    args.kind = kLayerPicture;
    args.sourceName = path;
    args.options.opacity = opacity;
    args.fourcc = kFourccRV24;
    auto layer = DefaultLayerFactory()->Create(&args);
    *kind = args.kind;
    return layer;
}

// rect: view coordinates; 480x270 view pixels are 1280x720 canvas pixels.
void RunStill(benchmark::State& state, const std::string& path, int opacity, LayerRect rect, bool rescale) {
    int kind = 0;
    auto layer = MakeLayer(path, opacity, &kind);
    if (!layer) {
        state.SkipWithError("picture could not be made");
        return;
    }
    layer->SetRect(rect);
    Canvas canvas;
    for (auto _ : state) {
        if (rescale) layer->borderChanged = 1;
        DrawLayer(canvas, *layer, kind);
        benchmark::DoNotOptimize(canvas.pixels.data());
    }
}

const LayerRect kOwnSize{60, 60, 60 + 240, 60 + 135};  // 640x360 canvas pixels
const LayerRect kScaled{60, 60, 60 + 480, 60 + 270};   // 1280x720 canvas pixels

void BM_StillPictureOwnSize(benchmark::State& state) { RunStill(state, Media().opaque, 255, kOwnSize, false); }
void BM_StillPictureScaled(benchmark::State& state) { RunStill(state, Media().opaque, 255, kScaled, false); }
void BM_StillPictureScaledOpacity128(benchmark::State& state) { RunStill(state, Media().opaque, 128, kScaled, false); }
void BM_StillPicture32Scaled(benchmark::State& state) { RunStill(state, Media().alpha, 255, kScaled, false); }
void BM_StillPictureRescaledEveryFrame(benchmark::State& state) { RunStill(state, Media().opaque, 255, kScaled, true); }

// The clock moves one frame delay per call, so every call shows a new frame.
void RunGif(benchmark::State& state, LayerRect rect) {
    uint32_t now = 0;
    CGifLayer layer(Media().gif, [&now] { return now; });
    if (!layer.Animated()) {
        state.SkipWithError("GIF did not decode as an animation");
        return;
    }
    layer.SetRect(rect);
    Canvas canvas;
    for (auto _ : state) {
        now += 100;
        DrawLayer(canvas, layer, kLayerGif);
        benchmark::DoNotOptimize(canvas.pixels.data());
    }
}

void BM_GifNewFrameEveryCallOwnSize(benchmark::State& state) { RunGif(state, kOwnSize); }
void BM_GifNewFrameEveryCallScaled(benchmark::State& state) { RunGif(state, kScaled); }

void BM_GifSameFrameScaled(benchmark::State& state) {
    CGifLayer layer(Media().gif, [] { return uint32_t{0}; });
    layer.SetRect(kScaled);
    Canvas canvas;
    for (auto _ : state) {
        DrawLayer(canvas, layer, kLayerGif);
        benchmark::DoNotOptimize(canvas.pixels.data());
    }
}

// Decoding the 640x360, four-frame GIF up front, as when the layer is made.
void BM_GifLoad(benchmark::State& state) {
    for (auto _ : state) {
        CGifLayer layer(Media().gif);
        benchmark::DoNotOptimize(layer.Image());
    }
}

}  // namespace

BENCHMARK(BM_StillPictureOwnSize)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StillPictureScaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StillPictureScaledOpacity128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StillPicture32Scaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StillPictureRescaledEveryFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GifNewFrameEveryCallOwnSize)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GifNewFrameEveryCallScaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GifSameFrameScaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GifLoad)->Unit(benchmark::kMillisecond);
