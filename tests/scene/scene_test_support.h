// Test helpers for the scene: a view that records every refresh, a layer with a solid picture,
// and a way to wait until the composition thread has handled everything posted to it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/media_clock.h"
#include "scene/scene.h"

class RecordingView : public ISceneView {
public:
    void Reset(int canvasWidth, int viewWidth, int viewHeight, uint32_t, int, int) override {
        std::lock_guard<std::mutex> guard(lock_);
        resetCanvasWidth = canvasWidth;
        resetViewWidth = viewWidth;
        resetViewHeight = viewHeight;
    }
    void Refresh(const ImageBuffer*) override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++frames_;
            times_.push_back(std::chrono::steady_clock::now());
        }
        refreshed_.notify_all();
    }
    LayerNode* SelectedNode() const override {
        std::lock_guard<std::mutex> guard(lock_);
        return selected_;
    }
    void SetSelectedNode(LayerNode* node) override {
        std::lock_guard<std::mutex> guard(lock_);
        selected_ = node;
    }
    void ClearSelectionIf(LayerNode* node) override {
        std::lock_guard<std::mutex> guard(lock_);
        if (selected_ == node) selected_ = nullptr;
    }

    uint64_t Frames() const {
        std::lock_guard<std::mutex> guard(lock_);
        return frames_;
    }
    // Waits until at least n frames have been shown; false on time-out.
    bool WaitForFrames(uint64_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> guard(lock_);
        return refreshed_.wait_for(guard, timeout, [&] { return frames_ >= n; });
    }
    std::vector<std::chrono::steady_clock::time_point> Times() const {
        std::lock_guard<std::mutex> guard(lock_);
        return times_;
    }

    int resetCanvasWidth = 0, resetViewWidth = 0, resetViewHeight = 0;

private:
    mutable std::mutex lock_;
    std::condition_variable refreshed_;
    uint64_t frames_ = 0;
    std::vector<std::chrono::steady_clock::time_point> times_;
    LayerNode* selected_ = nullptr;
};

// A layer showing a solid BGR (or BGRA) picture of the given size.
inline std::unique_ptr<CBaseLayer> SolidLayer(int w, int h, uint8_t b, uint8_t g, uint8_t r, int bpp = 3,
                                              uint8_t a = 255) {
    auto layer = std::make_unique<CBaseLayer>();
    ImageBufferPtr pic(CreateImageBuffer(w, h, bpp == 4 ? kFourccRV32 : kFourccRV24));
    for (int i = 0; i < w * h; ++i) {
        uint8_t* p = pic->planes[0] + static_cast<size_t>(i) * bpp;
        p[0] = b;
        p[1] = g;
        p[2] = r;
        if (bpp == 4) p[3] = a;
    }
    layer->SetImage(std::move(pic));
    return layer;
}

// A scene with a recording view, composing fast so that tests finish quickly.
struct SceneFixture {
    explicit SceneFixture(int w = 720, int h = 405, int fps = 100, ILayerFactory* factory = nullptr)
        : scene(nullptr, factory) {
        auto v = std::make_unique<RecordingView>();
        view = v.get();
        scene.AttachView(std::move(v));
        scene.SetFrameRate(fps);
        scene.Initialise(w, h, 0);
    }
    // Returns once every message posted so far has been handled and a frame composed after it.
    bool Sync() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            const uint64_t before = view->Frames();
            const bool empty = scene.ComposeThread().PendingMessages() == 0;
            if (!view->WaitForFrames(before + 1)) return false;
            if (empty) return view->WaitForFrames(view->Frames() + 1);
            if (std::chrono::steady_clock::now() > deadline) return false;
        }
    }
    std::vector<uint8_t> Canvas() {
        std::vector<uint8_t> pixels;
        int w = 0, h = 0;
        scene.CopyCanvas(&pixels, &w, &h);
        return pixels;
    }
    CScene scene;
    RecordingView* view = nullptr;
};
