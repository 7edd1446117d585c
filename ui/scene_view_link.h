// The scene view in two halves: CSceneViewLink is the scene's ISceneView, owned by the scene and called on
// the composition thread; CBGPanel is the widget, owned by its Qt parent. Neither deletes the other's
// object: they meet in CViewShared, which lives as long as either holds it. A refresh that races the
// window's close writes into the shared frames and is dropped there; a panel that outlives the scene
// finds the scene pointer cleared.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "imaging/image_buffer.h"
#include "scene/scene_view.h"
#include "ui/preview_frames.h"

class CScene;
struct LayerNode;

// The view's sizes, as the scene last reset them.
struct ViewGeometry {
    int canvasWidth = 0;
    int viewWidth = 0;
    int viewHeight = 0;
    uint32_t fourcc = kFourccRV24;
    int left = 0;
    int top = 0;
    float scale = 1.0f;  // canvas pixels per view pixel
};

class CViewShared {
public:
    // The layer being edited. Written under the scene's list lock (SelectAt, AddLayer, the delete that
    // clears it), read by the composition thread, which alone frees nodes.
    std::atomic<LayerNode*> selected{nullptr};
    // Whether frames are wanted: the panel is shown, its window is not minimised, and it has a renderer.
    std::atomic<bool> showing{false};
    // The scene, until it lets its view go.
    std::atomic<CScene*> scene{nullptr};
    const std::shared_ptr<CPreviewFrames> frames = std::make_shared<CPreviewFrames>();

    ViewGeometry Geometry() const;
    void SetGeometry(const ViewGeometry& geometry);

    // The panel's answer to a reset (any thread); set and cleared on the window's thread. Clearing waits
    // for a call in progress.
    void SetResetListener(std::function<void()> listener);
    void TellReset();

private:
    mutable std::mutex geometryLock_;
    ViewGeometry geometry_;
    std::mutex listenerLock_;
    std::function<void()> resetListener_;
};

class CSceneViewLink : public ISceneView {
public:
    CSceneViewLink(std::shared_ptr<CViewShared> shared, CScene* scene);
    ~CSceneViewLink() override;

    // The view image is made anew at the view size; the panel moves, resizes and re-creates its renderer.
    void Reset(int canvasWidth, int viewWidth, int viewHeight, uint32_t fourcc, int viewLeft, int viewTop) override;
    // The canvas scaled into the view image, the information overlay, the selection outline, the YUY2
    // conversion into the hand-over; nothing while the panel is hidden, minimised or without a renderer.
    void Refresh(const ImageBuffer* canvas) override;
    LayerNode* SelectedNode() const override { return shared_->selected; }
    void SetSelectedNode(LayerNode* node) override { shared_->selected = node; }
    void ClearSelectionIf(LayerNode* node) override { shared_->selected.compare_exchange_strong(node, nullptr); }

private:
    const std::shared_ptr<CViewShared> shared_;
    CScene* const scene_;
    std::mutex imageLock_;  // Reset on the window's thread against Refresh
    ImageBufferPtr viewImage_;
};
