#include "ui/scene_view_link.h"

#include "imaging/color_convert.h"
#include "scene/image_ops.h"
#include "scene/info_layer.h"
#include "scene/layer_node.h"
#include "scene/scene.h"

ViewGeometry CViewShared::Geometry() const {
    std::lock_guard<std::mutex> guard(geometryLock_);
    return geometry_;
}

void CViewShared::SetGeometry(const ViewGeometry& geometry) {
    std::lock_guard<std::mutex> guard(geometryLock_);
    geometry_ = geometry;
}

void CViewShared::SetResetListener(std::function<void()> listener) {
    std::lock_guard<std::mutex> guard(listenerLock_);
    resetListener_ = std::move(listener);
}

void CViewShared::TellReset() {
    std::lock_guard<std::mutex> guard(listenerLock_);
    if (resetListener_) resetListener_();
}

CSceneViewLink::CSceneViewLink(std::shared_ptr<CViewShared> shared, CScene* scene)
    : shared_(std::move(shared)), scene_(scene) {
    shared_->scene = scene_;
}

CSceneViewLink::~CSceneViewLink() {
    CScene* expected = scene_;
    shared_->scene.compare_exchange_strong(expected, nullptr);
    shared_->selected = nullptr;
}

void CSceneViewLink::Reset(int canvasWidth, int viewWidth, int viewHeight, uint32_t fourcc, int viewLeft, int viewTop) {
    if (canvasWidth <= 0 || viewWidth <= 0 || viewHeight <= 0) return;
    ViewGeometry geometry;
    geometry.canvasWidth = canvasWidth;
    geometry.viewWidth = viewWidth;
    geometry.viewHeight = viewHeight;
    geometry.fourcc = fourcc;
    geometry.left = viewLeft;
    geometry.top = viewTop;
    geometry.scale = static_cast<float>(canvasWidth) / static_cast<float>(viewWidth);
    shared_->SetGeometry(geometry);
    {
        std::lock_guard<std::mutex> guard(imageLock_);
        viewImage_.reset(CreateImageBuffer(viewWidth, viewHeight, fourcc));
    }
    shared_->TellReset();
}

void CSceneViewLink::Refresh(const ImageBuffer* canvas) {
    if (!shared_->showing || canvas == nullptr) return;
    // The overlay's image is taken before the view image's lock: the scene hands it out under its own.
    CInfoLayer* info = scene_->InfoLayer();
    const ImageBuffer* infoImage = info != nullptr ? info->GetImage(1.0f, canvas->fourcc) : nullptr;

    std::lock_guard<std::mutex> guard(imageLock_);
    ImageBuffer* view = viewImage_.get();
    if (view == nullptr || BytesPerPixel(view->fourcc) != 3) return;
    const int W = view->width, H = view->height;
    uint8_t* pixels = view->planes[0];
    ResizeBGR(canvas->planes[0], canvas->width, canvas->height, canvas->strides[0], pixels, W, H, view->strides[0]);

    if (infoImage != nullptr && infoImage->planes[0] != nullptr) {
        LayerPoint at;
        info->GetPosition(&at, 1.0f);
        const LayerRect r = info->GetRect();
        CopyColorKeyed(pixels, W, H, infoImage->planes[0], infoImage->width, infoImage->height, at.x, at.y,
                       ClipRect{r.left, r.top, r.right, r.bottom}, info->keyColor);
    }
    // Only this thread frees nodes, and the scene clears the selection before it does.
    const LayerNode* selected = shared_->selected;
    if (selected != nullptr && selected->layer && selected->layer->visible) {
        const LayerRect r = selected->layer->GetRect();
        DrawSelectionFrame(pixels, W, H, ClipRect{r.left, r.top, r.right, r.bottom});
    }

    ImageBuffer* slot = shared_->frames->WriteSlot(W, H);
    if (slot == nullptr) return;
    BGRToYUY2(pixels, view->strides[0], slot->planes[0], slot->strides[0], W, H);
    shared_->frames->Publish();
}
