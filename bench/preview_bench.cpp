// What the preview costs per frame, on a private X server: the view's refresh on the composition thread
// (canvas scaled to the view, information overlay, selection outline, YUY2 conversion, hand-over) at
// 1280x720 and 1920x1080 canvases; the window thread's drawing of one view frame on each display path;
// and both together. The OpenGL path runs on Mesa's software rasteriser here (Xvfb has no graphics
// device), so its figures are an upper bound for a machine with one.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/color_convert.h"
#include "scene/picture_layer.h"
#include "scene/scene.h"
#include "tools/peers/xvfb_server.h"
#include "ui/bg_panel.h"
#include "ui/preview_renderer.h"

namespace {

// A canvas with something in it: a gradient the scaler has to work on.
ImageBufferPtr Canvas(int w, int h) {
    ImageBufferPtr canvas(CreateImageBuffer(w, h, kFourccRV24));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = canvas->planes[0] + static_cast<size_t>(y) * canvas->strides[0] + x * 3;
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = static_cast<uint8_t>((x + y) & 0xFF);
        }
    return canvas;
}

const char* PathName(int64_t path) { return path == 0 ? "cpu" : "gl"; }

bool PathAvailable(int64_t path, benchmark::State& state) {
    if (path == 1 && !ProbeOpenGL().context) {
        state.SkipWithError("no OpenGL context");
        return false;
    }
    return true;
}

// A scene whose composition thread does not refresh the view, so that the benchmark's own calls are
// the only ones; a selected layer and the information text, as while the presenter edits.
struct PreviewedScene {
    PreviewedScene(int w, int h, const char* path) {
        setenv("BREVACAST_PREVIEW", path, 1);
        scene.SetPreviewOn(false);
        scene.SetFrameRate(1);
        window.resize(722, 560);
        panel = new CBGPanel(&scene, nullptr, &window);
        scene.Initialise(w, h, 0);
        window.show();
        QApplication::processEvents();
        ImageBufferPtr pixels(CreateImageBuffer(64, 36, kFourccRV24));
        std::fill(pixels->planes[0], pixels->planes[0] + 64 * 36 * 3, 128);
        auto layer = std::make_unique<CPicLayer>("bench.png", CPictureBitmap(std::move(pixels)), 255);
        layer->SetRect({100, 80, 400, 300});
        scene.AdoptLayer(kLayerPicture, std::move(layer), true);
        while (scene.ComposeThread().PendingMessages() != 0) QApplication::processEvents();
        scene.SelectAt(200, 200);
        scene.SetInfoText("Size:1920*1080\nBPS:4000kbps\nFPS:25fps");
        canvas = Canvas(w, h);
        unsetenv("BREVACAST_PREVIEW");
    }
    void Present() {
        panel->Renderer()->Surface()->repaint();
        QApplication::processEvents();
    }

    CScene scene{nullptr};
    QWidget window;
    CBGPanel* panel = nullptr;
    ImageBufferPtr canvas;
};

void BM_ViewRefresh(benchmark::State& state) {
    PreviewedScene studio(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), "cpu");
    ISceneView* view = studio.scene.View();
    for (auto _ : state) view->Refresh(studio.canvas.get());
    state.SetLabel("scale, overlay, outline, YUY2, hand-over");
}
BENCHMARK(BM_ViewRefresh)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

// The window thread's share: one 720x405 view frame taken from the hand-over and drawn.
void BM_PresentViewFrame(benchmark::State& state) {
    if (!PathAvailable(state.range(0), state)) return;
    QWidget host;
    host.resize(720, 405);
    host.show();
    QApplication::processEvents();
    auto frames = std::make_shared<CPreviewFrames>();
    auto renderer =
        PreviewRenderer::Create(&host, frames, state.range(0) == 0 ? PreviewPath::kCpu : PreviewPath::kOpenGL);
    const ImageBufferPtr bgr = Canvas(720, 405);
    ImageBufferPtr frame(CreateImageBuffer(720, 405, kFourccYUY2));
    BGRToYUY2(bgr->planes[0], bgr->strides[0], frame->planes[0], frame->strides[0], 720, 405);
    for (auto _ : state) {
        renderer->Render(frame.get());
        renderer->Surface()->repaint();
        QApplication::processEvents();
    }
    state.SetLabel(PathName(state.range(0)));
}
// Process time: the software rasteriser draws on threads of its own.
BENCHMARK(BM_PresentViewFrame)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

// Everything the preview adds to a frame: the refresh and the drawing.
void BM_PreviewFrame(benchmark::State& state) {
    const int64_t path = state.range(2);
    if (!PathAvailable(path, state)) return;
    PreviewedScene studio(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), PathName(path));
    ISceneView* view = studio.scene.View();
    for (auto _ : state) {
        view->Refresh(studio.canvas.get());
        studio.Present();
    }
    state.SetLabel(PathName(path));
}
BENCHMARK(BM_PreviewFrame)
    ->Args({1280, 720, 0})
    ->Args({1920, 1080, 0})
    ->Args({1280, 720, 1})
    ->Args({1920, 1080, 1})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    CXvfbServer xvfb;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        if (!xvfb.Start(1280, 720)) return 1;
        setenv("DISPLAY", xvfb.Display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    {
        // Gone before the X server stops.
        QApplication application(argc, argv);
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    return 0;
}
