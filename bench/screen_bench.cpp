// Screen capture per frame on both paths against a private X server: capture at the monitor's
// own size, and capture plus scaling to two thirds (a 1080p desktop on a 720p canvas).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "scene/screen_layer.h"
#include "tools/peers/xvfb_server.h"

namespace {

CXvfbServer* Server(int width, int height) {
    static CXvfbServer servers[2];
    CXvfbServer& s = servers[width == 1920 ? 1 : 0];
    if (!s.Running() && !s.Start(width, height)) return nullptr;
    return &s;
}

void BM_ScreenCapture(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = width == 1920 ? 1080 : 720;
    const bool shm = state.range(1) != 0;
    const bool scaled = state.range(2) != 0;
    CXvfbServer* server = Server(width, height);
    if (server == nullptr) {
        state.SkipWithError("Xvfb could not be started");
        return;
    }
    CScrLayer layer(kFourccRV24, 0, {0, 0, width, height}, server->Display().c_str(), shm);
    layer.SetRect(scaled ? LayerRect{0, 0, width * 2 / 3, height * 2 / 3} : LayerRect{0, 0, width, height});
    for (auto _ : state) benchmark::DoNotOptimize(layer.GetImage(1.0f, kFourccRV24));
    state.SetLabel(std::string(shm ? "shm" : "plain") + (scaled ? " + scale 2/3" : " natural size"));
}
BENCHMARK(BM_ScreenCapture)->ArgsProduct({{1280, 1920}, {1, 0}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
