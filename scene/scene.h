// The live scene: the canvas (BGR at the output size), the ordered list of layers drawn into it,
// the view that shows it and the composition thread. The main window owns exactly one.
// Threads: construction, Initialise, AddLayer*, ExportRecords, HitTest, SetInfoText and Destroy
// run on the main thread; the list is changed and drawn only on the composition thread; media
// callbacks call NotifyFileEnded. Walks of the list from other threads take the list lock; the
// canvas is guarded by its own lock. Neither is held while waiting for another thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window_target.h"
#include "scene/compose_thread.h"
#include "scene/info_layer.h"
#include "scene/layer_factory.h"
#include "scene/layer_node.h"
#include "scene/scene_messages.h"
#include "scene/scene_source.h"
#include "scene/scene_view.h"

constexpr int kViewWidth = 720;
constexpr int kMaxScreens = 10;
constexpr int kMaxCanvasSide = 4096;

class CScene {
public:
    // Starts the composition thread and returns once it runs. A null factory means the program's.
    explicit CScene(IWindowTarget* owner, ILayerFactory* factory = nullptr);
    ~CScene();
    CScene(const CScene&) = delete;
    CScene& operator=(const CScene&) = delete;

    // Creates the canvas at the output size and resets the view. False for an impossible size.
    bool Initialise(int canvasWidth, int canvasHeight, int viewTop);

    // Creates a layer from the user interface and puts it on top; null when it cannot be made. The
    // options by kind are those of LayerArgs; a camera or media layer takes over the device's
    // reference even when null is returned.
    LayerNode* AddLayer(int kind, const std::string& sourceName, const LayerOptions& options);
    // Recreates a layer from a stored record (layer kind already mapped) and puts it at the bottom.
    // options: the monitor rectangle of a screen, the device of a camera or media layer (whose
    // reference passes to the scene); the rest comes from the record.
    LayerNode* AddLayerFromRecord(int kind, const SceneSource& record, const LayerOptions& options = {});
    // Puts an already built layer into the scene (top or bottom) and returns its node.
    LayerNode* AdoptLayer(int kind, std::unique_ptr<CBaseLayer> layer, bool atTop);

    // Replaces the records of a stored scene with one per layer, top first.
    bool ExportRecords(CSceneBase* stored);
    // Shows or hides the node's layer (the sources panel's visibility toggle); false when the node
    // is not in the scene (any more).
    bool SetLayerVisible(const LayerNode* node, bool visible);
    // The topmost visible layer under a view point; tells the notification window.
    LayerNode* HitTest(int x, int y);

    // The view's selection, kept safe against deletion: the composition thread clears the selection
    // under the list lock before it unlinks a node, and the selection is set and used only under that
    // lock, so a selected node is never freed while it is in use.
    // HitTest that also makes the result the view's selection (null clears it).
    LayerNode* SelectAt(int x, int y);
    // Makes node the view's selection (a row of the sources panel was clicked) when it is in the scene;
    // null clears the selection. False when the node is not (any more) in the scene.
    bool Select(LayerNode* node);
    // Runs fn on the selected node while the composition thread can neither delete it nor exchange
    // its layer; false (fn not run) when nothing in the scene is selected.
    bool WithSelectedLayer(const std::function<void(LayerNode&)>& fn);
    // Runs fn on the node's layer while the node is in the scene; false when it is not.
    bool WithLayer(const LayerNode* node, const std::function<void(CBaseLayer&)>& fn);
    // Puts layer in the node's place on the composition thread, keeping the old layer's rectangle
    // and visibility; the old layer is destroyed there, between two frames. Only a text node's layer
    // (a caption edited in its dialog) or a camera node's (another device or capture format) is
    // replaced, by one of the same kind; otherwise the new layer is dropped.
    void ReplaceLayer(LayerNode* node, std::unique_ptr<CBaseLayer> layer);
    // Main thread: returns once the composition thread has handled every message posted before, so
    // a replaced layer is destroyed and has given its device back. At once after Destroy.
    void WaitForMessages();
    void SetInfoText(const std::string& text);
    // The information overlay for the view's refresh (composition thread); null until the first
    // SetInfoText. It lives until Destroy.
    CInfoLayer* InfoLayer() const;
    // Media callback threads (through the media registry's handler): a file ended; the scene's
    // notification window hides its layer.
    void NotifyFileEnded(const void* mediaDevice);
    // Stops the thread and releases every layer, the view and the canvas. Safe to call twice.
    void Destroy();

    void PostThreadMessage(uint32_t code, uintptr_t wParam, intptr_t lParam);
    void SetNotificationWindow(IWindowTarget* window) { notify_ = window; }
    void AttachView(std::unique_ptr<ISceneView> view);
    ISceneView* View() const { return view_.get(); }

    void SetFrameRate(int fps) {
        frameRate_ = fps;
        compose_.Wake();
    }
    int FrameRate() const { return frameRate_; }
    void SetPreviewOn(bool on) { previewOn_ = on ? 1 : 0; }
    bool ScreenInUse(int index) const;

    int CanvasWidth() const { return canvasWidth_; }
    int CanvasHeight() const { return canvasHeight_; }
    int ViewHeight() const { return viewHeight_; }
    float Scale() const { return scale_; }
    // A copy of the last composed frame (BGR rows); false before a canvas exists.
    bool CopyCanvas(std::vector<uint8_t>* pixels, int* width, int* height) const;
    // The layers from top to bottom, as (kind, layer).
    std::vector<std::pair<int32_t, CBaseLayer*>> LayersTopFirst() const;
    const CComposeThread& ComposeThread() const { return compose_; }

private:
    friend class CComposeThread;

    // Composition thread.
    void HandleMessage(const ThreadMessage& msg);
    void ComposeFrame();
    void LinkBelow(LayerNode* anchor, LayerNode* node);
    void Unlink(LayerNode* node);
    bool Contains(const LayerNode* node) const;  // under listLock_
    void AddNode(LayerNode* node, bool atTop);
    void DeleteNode(LayerNode* node);
    void ExchangeLayer(LayerNode* node, CBaseLayer* layer);
    LayerNode* TopmostAt(int x, int y) const;  // under listLock_
    void Resize(int width, int height);
    void ReleaseMessage(const ThreadMessage& msg);
    void SetGeometry(int width, int height);  // under canvasLock_

    IWindowTarget* owner_;
    std::atomic<IWindowTarget*> notify_{nullptr};
    ILayerFactory* factory_;
    std::atomic<int> canvasWidth_{0}, canvasHeight_{0};
    int viewLeft_ = 1, viewTop_ = 0;
    std::atomic<int> viewWidth_{kViewWidth}, viewHeight_{0};
    std::atomic<float> scale_{1.0f};
    std::atomic<int> frameRate_{25};
    LayerNode top_;
    LayerNode bottom_;
    std::unique_ptr<ISceneView> view_;
    mutable std::mutex canvasLock_;
    ImageBufferPtr canvas_;
    const uint32_t canvasFormat_ = kFourccRV24;
    std::atomic<uint8_t> previewOn_{1};
    std::array<std::atomic<uint8_t>, kMaxScreens> screenInUse_{};
    std::unique_ptr<CInfoLayer> infoLayer_;
    std::string infoText_;

    mutable std::mutex listLock_;
    std::vector<std::pair<int32_t, CBaseLayer*>> drawList_;  // composition thread only
    bool destroyed_ = false;
    CComposeThread compose_;
};
