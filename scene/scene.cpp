#include "scene/scene.h"

#include <cstdio>
#include <cstring>
#include <future>

#include "media/base_device.h"
#include "platform/log.h"
#include "scene/file_device.h"
#include "scene/image_ops.h"
#include "scene/video_device.h"

namespace {

// Stored record kinds and the layer kinds they rebuild.
int32_t RecordKindOf(int32_t layerKind) {
    switch (layerKind) {
        case kLayerScreen:
            return kSourceScreen;
        case kLayerDevice:
            return kSourceDevice;
        case kLayerPicture:
        case kLayerPicture32:
        case kLayerGif:
            return kSourcePicture;
        case kLayerText:
            return kSourceText;
        case kLayerFile:
            return kSourceMedia;
        default:
            return -1;
    }
}

}  // namespace

CScene::CScene(IWindowTarget* owner, ILayerFactory* factory)
    : owner_(owner), factory_(factory ? factory : DefaultLayerFactory()), compose_(this) {
    top_.kind = kLayerTopEnd;
    bottom_.kind = kLayerBottomEnd;
    top_.below = &bottom_;
    bottom_.above = &top_;
    for (auto& flag : screenInUse_) flag = 0;
    drawList_.reserve(64);
    compose_.Start();
}

CScene::~CScene() { Destroy(); }

bool CScene::Initialise(int canvasWidth, int canvasHeight, int viewTop) {
    if (canvasWidth <= 0 || canvasHeight <= 0 || canvasWidth > kMaxCanvasSide || canvasHeight > kMaxCanvasSide) {
        Log(LogLevel::kWarning, "scene", "refusing canvas size %dx%d", canvasWidth, canvasHeight);
        return false;
    }
    ImageBufferPtr canvas(CreateImageBuffer(canvasWidth, canvasHeight, canvasFormat_));
    if (!canvas) return false;
    std::memset(canvas->planes[0], 0, static_cast<size_t>(canvas->strides[0]) * canvasHeight);
    {
        std::lock_guard<std::mutex> guard(canvasLock_);
        viewLeft_ = 1;
        viewTop_ = viewTop;
        SetGeometry(canvasWidth, canvasHeight);
        canvas_ = std::move(canvas);
    }
    if (view_) view_->Reset(canvasWidth, viewWidth_, viewHeight_, canvasFormat_, viewLeft_, viewTop_);
    return true;
}

void CScene::SetGeometry(int width, int height) {
    canvasWidth_ = width;
    canvasHeight_ = height;
    viewWidth_ = kViewWidth;
    viewHeight_ = kViewWidth * height / width;
    scale_ = static_cast<float>(width) / static_cast<float>(kViewWidth);
}

void CScene::AttachView(std::unique_ptr<ISceneView> view) {
    {
        std::scoped_lock guard(canvasLock_, listLock_);
        view_.swap(view);
    }
    view.reset();
    if (view_ && canvasWidth_ > 0)
        view_->Reset(canvasWidth_, viewWidth_, viewHeight_, canvasFormat_, viewLeft_, viewTop_);
}

LayerNode* CScene::AddLayer(int kind, const std::string& sourceName, const LayerOptions& options) {
    if (sourceName.empty()) {
        // The device's reference came with the call; no layer takes it over.
        if (kind == kLayerDevice && options.camera != nullptr) options.camera->Release();
        if (kind == kLayerFile && options.media != nullptr) options.media->Release();
        return nullptr;
    }
    LayerArgs args;
    args.kind = kind;
    args.sourceName = sourceName;
    args.options = options;
    args.fourcc = canvasFormat_;
    std::unique_ptr<CBaseLayer> layer = factory_->Create(&args);
    if (!layer) return nullptr;
    if (args.kind == kLayerText) {
        LayerRect r = layer->GetRect();
        r.left += 10;
        r.right += 10;
        r.top += 100;
        r.bottom += 100;
        layer->SetRect(r);
    }
    if (canvasWidth_ > 0) layer->ResetSize(canvasWidth_, canvasHeight_, viewWidth_, viewHeight_, scale_);
    LayerNode* node = AdoptLayer(args.kind, std::move(layer), true);
    std::lock_guard<std::mutex> guard(listLock_);
    if (view_) view_->SetSelectedNode(node);
    return node;
}

LayerNode* CScene::AddLayerFromRecord(int kind, const SceneSource& record, const LayerOptions& options) {
    LayerArgs args;
    args.kind = kind;
    args.sourceName = record.SourceName;
    args.record = &record;
    args.options = options;
    args.fourcc = canvasFormat_;
    std::unique_ptr<CBaseLayer> layer = factory_->Create(&args);
    if (!layer) return nullptr;
    if (args.kind == kLayerText) layer->reRender = 1;
    layer->SetRect(LayerRect{record.Left, record.Top, record.Right, record.Bottom});
    layer->keepRatio = record.KeepRatio != 0 ? 1 : 0;
    layer->SetVisible(record.Visible);
    layer->borderWidth = record.BorderWidth;
    layer->borderColor = record.BorderColor;
    return AdoptLayer(args.kind, std::move(layer), false);
}

LayerNode* CScene::AdoptLayer(int kind, std::unique_ptr<CBaseLayer> layer, bool atTop) {
    if (!layer || destroyed_) return nullptr;
    auto* node = new LayerNode;
    node->kind = kind;
    node->layer = std::move(layer);
    PostThreadMessage(atTop ? WM_SCENE_ADD_TOP : WM_SCENE_ADD_BOTTOM, reinterpret_cast<uintptr_t>(node), 0);
    return node;
}

bool CScene::ExportRecords(CSceneBase* stored) {
    if (stored == nullptr) return false;
    stored->Clear();
    std::lock_guard<std::mutex> guard(listLock_);
    for (LayerNode* node = top_.below; node && node->kind != kLayerBottomEnd; node = node->below) {
        const CBaseLayer* layer = node->layer.get();
        const int32_t recordKind = RecordKindOf(node->kind);
        if (layer == nullptr || recordKind < 0) continue;  // plain layers are not stored
        auto record = std::make_unique<SceneSource>();
        record->type = recordKind;
        if (node->kind == kLayerScreen) record->ScrIdx = layer->ScreenIndex();
        if (node->kind == kLayerPicture) record->Alpha = layer->opacity;
        layer->ExportFields(record.get());
        record->SourceName = layer->sourceName;
        record->KeepRatio = layer->keepRatio;
        record->Visible = layer->visible;
        record->BorderWidth = layer->borderWidth;
        record->BorderColor = layer->borderColor;
        const LayerRect r = layer->GetRect();
        record->Left = r.left;
        record->Top = r.top;
        record->Right = r.right;
        record->Bottom = r.bottom;
        stored->AddRecord(std::move(record));
    }
    return true;
}

bool CScene::SetLayerVisible(const LayerNode* node, bool visible) {
    return WithLayer(node, [visible](CBaseLayer& layer) { layer.SetVisible(visible ? 1 : 0); });
}

bool CScene::WithLayer(const LayerNode* node, const std::function<void(CBaseLayer&)>& fn) {
    // Under the list lock the composition thread cannot delete the node or exchange its layer.
    std::lock_guard<std::mutex> guard(listLock_);
    if (node == nullptr || !Contains(node) || !node->layer) return false;
    fn(*node->layer);
    return true;
}

bool CScene::WithSelectedLayer(const std::function<void(LayerNode&)>& fn) {
    std::lock_guard<std::mutex> guard(listLock_);
    LayerNode* node = view_ ? view_->SelectedNode() : nullptr;
    // A node that AddLayer selected is not linked until the composition thread takes it in.
    if (node == nullptr || !Contains(node) || !node->layer) return false;
    fn(*node);
    return true;
}

LayerNode* CScene::TopmostAt(int x, int y) const {
    for (LayerNode* node = top_.below; node && node->kind != kLayerBottomEnd; node = node->below) {
        if (!node->layer || !node->layer->visible) continue;
        const LayerRect r = node->layer->GetRect();
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return node;
    }
    return nullptr;
}

LayerNode* CScene::HitTest(int x, int y) {
    LayerNode* hit = nullptr;
    {
        std::lock_guard<std::mutex> guard(listLock_);
        hit = TopmostAt(x, y);
    }
    if (hit) PostWindowMessage(notify_, WM_SCENE_SELECTED, reinterpret_cast<uintptr_t>(hit), 0);
    return hit;
}

LayerNode* CScene::SelectAt(int x, int y) {
    LayerNode* hit = nullptr;
    {
        // Hit and selected under one hold of the lock: the node cannot be deleted in between and
        // leave the view holding it.
        std::lock_guard<std::mutex> guard(listLock_);
        hit = TopmostAt(x, y);
        if (view_) view_->SetSelectedNode(hit);
    }
    if (hit) PostWindowMessage(notify_, WM_SCENE_SELECTED, reinterpret_cast<uintptr_t>(hit), 0);
    return hit;
}

bool CScene::Select(LayerNode* node) {
    std::lock_guard<std::mutex> guard(listLock_);
    if (node != nullptr && !Contains(node)) return false;
    if (view_) view_->SetSelectedNode(node);
    return true;
}

void CScene::ReplaceLayer(LayerNode* node, std::unique_ptr<CBaseLayer> layer) {
    if (node == nullptr || !layer) return;
    PostThreadMessage(WM_SCENE_REPLACE_LAYER, reinterpret_cast<uintptr_t>(node),
                      reinterpret_cast<intptr_t>(layer.release()));
}

void CScene::WaitForMessages() {
    std::promise<void> reached;
    std::future<void> handled = reached.get_future();
    // The composition thread sets it, or the message's release does once the thread has stopped.
    PostThreadMessage(WM_SCENE_BARRIER, reinterpret_cast<uintptr_t>(&reached), 0);
    handled.wait();
}

void CScene::SetInfoText(const std::string& text) {
    {
        std::lock_guard<std::mutex> guard(listLock_);
        infoText_ = text;
        if (infoLayer_ || destroyed_) {
            if (infoLayer_) infoLayer_->SetText(text);
            return;
        }
    }
    // Rendered outside the lock: the composition thread keeps composing meanwhile.
    auto layer = std::make_unique<CInfoLayer>(text, canvasFormat_);
    std::lock_guard<std::mutex> guard(listLock_);
    if (!infoLayer_ && !destroyed_) infoLayer_ = std::move(layer);
}

CInfoLayer* CScene::InfoLayer() const {
    std::lock_guard<std::mutex> guard(listLock_);
    return infoLayer_.get();
}

void CScene::NotifyFileEnded(const void* mediaDevice) {
    if (mediaDevice == nullptr) return;
    LayerNode* found = nullptr;
    {
        std::lock_guard<std::mutex> guard(listLock_);
        for (LayerNode* node = top_.below; node && node->kind != kLayerBottomEnd; node = node->below) {
            if (node->kind == kLayerFile && node->layer && node->layer->MediaDevice() == mediaDevice) {
                found = node;
                break;
            }
        }
    }
    if (found) PostWindowMessage(notify_, WM_SCENE_FILE_ENDED, reinterpret_cast<uintptr_t>(found), 0);
}

void CScene::Destroy() {
    if (destroyed_) return;
    destroyed_ = true;
    compose_.Stop();
    std::unique_ptr<ISceneView> view;
    {
        std::lock_guard<std::mutex> guard(listLock_);
        view = std::move(view_);
    }
    view.reset();
    std::vector<LayerNode*> nodes;
    {
        std::lock_guard<std::mutex> guard(listLock_);
        for (LayerNode* node = top_.below; node && node->kind != kLayerBottomEnd; node = node->below)
            nodes.push_back(node);
        top_.below = &bottom_;
        bottom_.above = &top_;
        infoLayer_.reset();
    }
    for (LayerNode* node : nodes) delete node;
    for (auto& flag : screenInUse_) flag = 0;
    std::lock_guard<std::mutex> guard(canvasLock_);
    canvas_.reset();
}

void CScene::PostThreadMessage(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    if (destroyed_) {
        // The thread is gone: release what the message carries instead of leaking it.
        ReleaseMessage(ThreadMessage{code, wParam, lParam});
        return;
    }
    compose_.Post(code, wParam, lParam);
}

bool CScene::ScreenInUse(int index) const { return index >= 0 && index < kMaxScreens && screenInUse_[index] != 0; }

bool CScene::CopyCanvas(std::vector<uint8_t>* pixels, int* width, int* height) const {
    std::lock_guard<std::mutex> guard(canvasLock_);
    if (!canvas_) return false;
    const size_t bytes = static_cast<size_t>(canvas_->strides[0]) * canvas_->height;
    pixels->assign(canvas_->planes[0], canvas_->planes[0] + bytes);
    *width = canvas_->width;
    *height = canvas_->height;
    return true;
}

std::vector<std::pair<int32_t, CBaseLayer*>> CScene::LayersTopFirst() const {
    std::lock_guard<std::mutex> guard(listLock_);
    std::vector<std::pair<int32_t, CBaseLayer*>> layers;
    for (LayerNode* node = top_.below; node && node->kind != kLayerBottomEnd; node = node->below)
        layers.emplace_back(node->kind, node->layer.get());
    return layers;
}

// ---- composition thread ----

void CScene::ReleaseMessage(const ThreadMessage& msg) {
    if (msg.code == WM_SCENE_BARRIER) {
        reinterpret_cast<std::promise<void>*>(msg.wParam)->set_value();
        return;
    }
    // Nodes posted for adding belong to the message until they are linked.
    if (msg.code == WM_SCENE_ADD_TOP || msg.code == WM_SCENE_ADD_BOTTOM) {
        auto* node = reinterpret_cast<LayerNode*>(msg.wParam);
        bool linked;
        {
            std::lock_guard<std::mutex> guard(listLock_);
            linked = node != nullptr && Contains(node);
        }
        if (!linked) delete node;
    }
    if (msg.code == WM_SCENE_REPLACE_LAYER) delete reinterpret_cast<CBaseLayer*>(msg.lParam);
}

bool CScene::Contains(const LayerNode* node) const {
    for (const LayerNode* n = top_.below; n && n->kind != kLayerBottomEnd; n = n->below)
        if (n == node) return true;
    return false;
}

void CScene::LinkBelow(LayerNode* anchor, LayerNode* node) {
    node->above = anchor;
    node->below = anchor->below;
    anchor->below->above = node;
    anchor->below = node;
}

void CScene::Unlink(LayerNode* node) {
    node->above->below = node->below;
    node->below->above = node->above;
    node->above = node->below = nullptr;
}

void CScene::AddNode(LayerNode* node, bool atTop) {
    if (node == nullptr || !node->layer) {
        delete node;
        return;
    }
    std::lock_guard<std::mutex> guard(listLock_);
    if (Contains(node)) return;  // posted twice: already in place
    if (node->kind == kLayerScreen) {
        const int index = node->layer->ScreenIndex();
        if (index >= 0 && index < kMaxScreens) screenInUse_[index] = 1;
    }
    LinkBelow(atTop ? &top_ : bottom_.above, node);
}

void CScene::DeleteNode(LayerNode* node) {
    {
        std::lock_guard<std::mutex> guard(listLock_);
        if (!Contains(node)) return;  // null, an end node, or already deleted
        if (view_) view_->ClearSelectionIf(node);
        Unlink(node);
        if (node->kind == kLayerScreen) {
            const int index = node->layer->ScreenIndex();
            if (index >= 0 && index < kMaxScreens) screenInUse_[index] = 0;
        }
    }
    // Destroyed outside the lock: a layer may wait for its source's threads to stop.
    delete node;
}

void CScene::ExchangeLayer(LayerNode* node, CBaseLayer* layer) {
    std::unique_ptr<CBaseLayer> replacement(layer);
    {
        std::lock_guard<std::mutex> guard(listLock_);
        if (replacement && Contains(node) && (node->kind == kLayerText || node->kind == kLayerDevice) && node->layer) {
            const CBaseLayer& old = *node->layer;
            replacement->SetRect(old.GetRect());
            // A layer the presenter hid stays hidden: its row in the sources panel says so.
            replacement->SetVisible(old.visible);
            if (node->kind == kLayerDevice) {
                // The same camera in another format: it keeps its frame and proportions. (A new
                // caption starts with its own.)
                replacement->keepRatio = old.keepRatio.load();
                replacement->borderWidth = old.borderWidth.load();
                replacement->borderColor = old.borderColor.load();
                replacement->borderChanged = 1;
            }
            node->layer.swap(replacement);
        }
    }
    // The old layer (or a replacement that found no place) goes outside the lock. This thread is
    // the only one that draws layers, so it is not being drawn now.
    replacement.reset();
}

void CScene::Resize(int width, int height) {
    if (compose_.engine_ != nullptr) {
        Log(LogLevel::kError, "scene", "the output size cannot change during a live");
        return;
    }
    if (width <= 0 || height <= 0 || width > kMaxCanvasSide || height > kMaxCanvasSide) {
        Log(LogLevel::kWarning, "scene", "refusing canvas size %dx%d", width, height);
        return;
    }
    ImageBufferPtr canvas(CreateImageBuffer(width, height, canvasFormat_));
    if (!canvas) return;
    {
        std::lock_guard<std::mutex> guard(canvasLock_);
        SetGeometry(width, height);
        canvas_ = std::move(canvas);
    }
    if (view_) view_->Reset(width, viewWidth_, viewHeight_, canvasFormat_, viewLeft_, viewTop_);
    std::lock_guard<std::mutex> guard(listLock_);
    for (LayerNode* node = bottom_.above; node && node->kind != kLayerTopEnd; node = node->above)
        if (node->kind == kLayerText && node->layer) node->layer->reRender = 1;
}

void CScene::HandleMessage(const ThreadMessage& msg) {
    auto* node = reinterpret_cast<LayerNode*>(msg.wParam);
    switch (msg.code) {
        case WM_SCENE_SET_ENGINE:
            compose_.SetEngine(reinterpret_cast<ILiveFeed*>(msg.wParam), static_cast<uint32_t>(msg.lParam));
            return;
        case WM_SCENE_ADD_TOP:
            AddNode(node, true);
            return;
        case WM_SCENE_ADD_BOTTOM:
            AddNode(node, false);
            return;
        case WM_SCENE_RESIZE:
            Resize(static_cast<int>(msg.wParam), static_cast<int>(msg.lParam));
            return;
        case WM_SCENE_DELETE:
            DeleteNode(node);
            return;
        case WM_SCENE_REPLACE_LAYER:
            ExchangeLayer(node, reinterpret_cast<CBaseLayer*>(msg.lParam));
            return;
        case WM_SCENE_BARRIER:
            reinterpret_cast<std::promise<void>*>(msg.wParam)->set_value();
            return;
        default:
            break;
    }
    if (msg.code < WM_SCENE_MOVE_UP || msg.code > WM_SCENE_SET_KEYED) return;

    bool makeMain = false;
    {
        std::lock_guard<std::mutex> guard(listLock_);
        // Nodes come from other threads and may have been deleted meanwhile: act only on nodes
        // that are in the list.
        if (!Contains(node)) return;
        switch (msg.code) {
            case WM_SCENE_MOVE_UP:
                if (node->above != &top_) {
                    LayerNode* anchor = node->above->above;
                    Unlink(node);
                    LinkBelow(anchor, node);
                }
                break;
            case WM_SCENE_MOVE_DOWN:
                if (node->below != &bottom_) {
                    LayerNode* anchor = node->below;
                    Unlink(node);
                    LinkBelow(anchor, node);
                }
                break;
            case WM_SCENE_TO_TOP:
                if (node->above != &top_) {
                    Unlink(node);
                    LinkBelow(&top_, node);
                }
                break;
            case WM_SCENE_TO_BOTTOM:
                if (node->below != &bottom_) {
                    Unlink(node);
                    LinkBelow(bottom_.above, node);
                }
                break;
            case WM_SCENE_MAIN_SCREEN:
                makeMain = true;
                break;
            case WM_SCENE_SET_KEYED:
                node->layer->keyedImage = msg.lParam != 0 ? 1 : 0;
                break;
            default:
                break;
        }
    }
    if (makeMain) {
        PostWindowMessage(notify_, WM_SCENE_TO_BOTTOM, msg.wParam, 0);
        compose_.Post(WM_SCENE_TO_BOTTOM, msg.wParam, 0);
        node->layer->SetRect(LayerRect{0, 0, viewWidth_, viewHeight_});
    }
}

void CScene::ComposeFrame() {
    std::lock_guard<std::mutex> canvasGuard(canvasLock_);
    ImageBuffer* canvas = canvas_.get();
    if (canvas == nullptr) return;
    const int W = canvas->width, H = canvas->height;
    uint8_t* pixels = canvas->planes[0];
    drawList_.clear();
    {
        std::lock_guard<std::mutex> guard(listLock_);
        for (LayerNode* node = bottom_.above; node && node->kind != kLayerTopEnd; node = node->above)
            if (node->layer && node->layer->visible) drawList_.emplace_back(node->kind, node->layer.get());
    }
    // Only this thread destroys layers, so the snapshot stays valid while drawing.
    const float scale = scale_;
    bool cleared = false;
    for (const auto& [kind, layer] : drawList_) {
        ImageBuffer* image = layer->GetImage(scale, canvasFormat_);
        if (image == nullptr || image->planes[0] == nullptr) continue;
        LayerPoint at;
        layer->GetPosition(&at, scale);
        const uint8_t* src = image->planes[0];
        const int w = image->width, h = image->height;
        const int bpp = BytesPerPixel(image->fourcc);
        if (!cleared) {
            // The canvas starts black, unless the first layer drawn covers all of it opaquely
            // (a full-screen main source): then clearing would only be overwritten.
            const bool opaque = bpp == 3 && (kind == kLayerScreen || kind == kLayerPlain || kind == kLayerFile ||
                                             (kind == kLayerDevice && !layer->keyedImage) ||
                                             (kind == kLayerPicture && layer->opacity == 255));
            const bool covers = at.x <= 0 && at.y <= 0 && int64_t{at.x} + w >= W && int64_t{at.y} + h >= H;
            if (!(opaque && covers)) std::memset(pixels, 0, static_cast<size_t>(W) * H * 3);
            cleared = true;
        }
        switch (kind) {
            case kLayerDevice:
                if (layer->keyedImage && bpp == 4) {
                    if (layer->bottomUp)
                        AlphaOverFlipped(pixels, W, H, src, w, h, at.x, at.y);
                    else
                        AlphaOver(pixels, W, H, src, w, h, at.x, at.y);
                } else if (bpp == 3) {
                    if (layer->bottomUp)
                        CopyOpaqueFlipped(pixels, W, H, src, w, h, at.x, at.y);
                    else
                        CopyOpaque(pixels, W, H, src, w, h, at.x, at.y);
                }
                break;
            case kLayerPicture:
                if (bpp == 3) BlendWithOpacity(pixels, W, H, src, w, h, at.x, at.y, layer->opacity);
                break;
            case kLayerPicture32:
            case kLayerGif:
                if (bpp == 4) AlphaOver(pixels, W, H, src, w, h, at.x, at.y);
                break;
            case kLayerText: {
                if (bpp != 3) break;
                const LayerRect r = layer->GetRect();
                const ClipRect clip{static_cast<int32_t>(r.left * scale), static_cast<int32_t>(r.top * scale),
                                    static_cast<int32_t>(r.right * scale), static_cast<int32_t>(r.bottom * scale)};
                CopyColorKeyed(pixels, W, H, src, w, h, at.x, at.y, clip, layer->keyColor);
                break;
            }
            default:
                if (bpp != 3) break;
                if (layer->bottomUp)
                    CopyOpaqueFlipped(pixels, W, H, src, w, h, at.x, at.y);
                else
                    CopyOpaque(pixels, W, H, src, w, h, at.x, at.y);
                break;
        }
    }
    if (!cleared) std::memset(pixels, 0, static_cast<size_t>(W) * H * 3);
    if (previewOn_ && view_) view_->Refresh(canvas);
}
