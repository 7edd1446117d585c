#include "ui/bg_panel.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>

#include "scene/scene.h"
#include "scene/text_layer.h"

namespace {

QEvent::Type ResetEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

constexpr int kMoveMargin = 10;  // view pixels of a layer's edge that resize rather than move

// A zone of the selection's edge: left and top inclusive, right and bottom exclusive.
bool In(int x, int y, int left, int top, int right, int bottom) {
    return x >= left && x < right && y >= top && y < bottom;
}

// The resize handle under the pointer, tested in this order (the first zone that holds the pointer
// wins); 0 inside the layer's move area and outside every zone.
int HandleAt(const LayerRect& r, const QPoint& p) {
    const int x = p.x(), y = p.y();
    const int L = r.left, T = r.top, R = r.right, B = r.bottom;
    struct Zone {
        int left, top, right, bottom, mode;
    };
    const Zone zones[] = {
        {L + 1, T + 1, L + 9, T + 9, kDragTopLeft},
        {L + 10, T + 1, R - 10, T + 9, kDragTop},
        {R - 9, T + 1, R - 1, T + 9, kDragTopRight},
        {L + 1, T + 10, L + 9, B - 10, kDragLeft},
        {L + 10, T + 10, R - 10, B - 10, 0},
        {R - 9, T + 10, R - 1, B - 10, kDragRight},
        {L + 1, B - 9, L + 9, B - 1, kDragBottomLeft},
        {L + 10, B - 9, R - 10, B - 1, kDragBottom},
        {R - 9, B - 9, R - 1, B - 1, kDragBottomRight},
    };
    for (const Zone& z : zones)
        if (In(x, y, z.left, z.top, z.right, z.bottom)) return z.mode;
    return 0;
}

bool InMoveArea(const LayerRect& r, const QPoint& p) {
    return In(p.x(), p.y(), r.left + kMoveMargin, r.top + kMoveMargin, r.right - kMoveMargin, r.bottom - kMoveMargin);
}

// Mouse messages count only without Shift or Control held, as the button flags must be exactly one button.
bool Plain(const QMouseEvent* event) { return (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0; }

}  // namespace

CBGPanel::CBGPanel(CScene* scene, IWindowTarget* owner, QWidget* parent)
    : QWidget(parent), shared_(std::make_shared<CViewShared>()), owner_(owner) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    menu_ = new CMenuPanel([shared = shared_] { return shared->scene.load(); }, owner, this);
    // A reset on the composition thread (a new output size) reaches the panel as an event.
    shared_->SetResetListener([this] {
        if (QThread::currentThread() == thread())
            ApplyGeometry();
        else
            QCoreApplication::postEvent(this, new QEvent(ResetEventType()));
    });
    // Last: attaching resets the view at once when the scene already has its canvas.
    if (scene != nullptr) scene->AttachView(std::make_unique<CSceneViewLink>(shared_, scene));
}

CBGPanel::~CBGPanel() {
    shared_->SetResetListener({});
    shared_->showing = false;
    renderer_.reset();
    if (watchedWindow_ != nullptr && watchedWindow_ != this) watchedWindow_->removeEventFilter(this);
}

void CBGPanel::SetLayerCommandHandler(std::function<void(int command, LayerNode* node)> handler) {
    menu_->SetCommandHandler(std::move(handler));
}

void CBGPanel::ApplyGeometry() {
    const ViewGeometry g = shared_->Geometry();
    if (g.viewWidth <= 0 || g.viewHeight <= 0) return;
    setGeometry(g.left, g.top, g.viewWidth, g.viewHeight);
    renderer_.reset();
    renderer_ = PreviewRenderer::Create(this, shared_->frames);
    show();
    UpdateShowing();
}

void CBGPanel::UpdateShowing() {
    QWidget* top = window();
    if (top != watchedWindow_) {
        if (watchedWindow_ != nullptr && watchedWindow_ != this) watchedWindow_->removeEventFilter(this);
        watchedWindow_ = top;
        if (top != this) top->installEventFilter(this);
    }
    shared_->showing = renderer_ != nullptr && isVisible() && !(top->windowState() & Qt::WindowMinimized);
}

bool CBGPanel::event(QEvent* event) {
    if (event->type() == ResetEventType()) {
        ApplyGeometry();
        return true;
    }
    const bool handled = QWidget::event(event);
    switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
        case QEvent::ParentChange:
            UpdateShowing();
            break;
        default:
            break;
    }
    return handled;
}

bool CBGPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_) {
        switch (event->type()) {
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::WindowStateChange:
                UpdateShowing();
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CBGPanel::paintEvent(QPaintEvent*) {
    // Seen only before the renderer's surface covers the panel.
    QPainter(this).fillRect(rect(), Qt::black);
}

void CBGPanel::SetDragMode(int mode) {
    const int before = dragMode_;
    dragMode_ = mode;
    if (mode == before && (mode != 0 || !testAttribute(Qt::WA_SetCursor))) return;
    switch (mode) {
        case kDragMove:
            setCursor(Qt::SizeAllCursor);
            break;
        case kDragLeft:
        case kDragRight:
            setCursor(Qt::SizeHorCursor);
            break;
        case kDragTopLeft:
        case kDragBottomRight:
            setCursor(Qt::SizeFDiagCursor);
            break;
        case kDragTop:
        case kDragBottom:
            setCursor(Qt::SizeVerCursor);
            break;
        case kDragTopRight:
        case kDragBottomLeft:
            setCursor(Qt::SizeBDiagCursor);
            break;
        default:
            unsetCursor();
            break;
    }
}

void CBGPanel::mousePressEvent(QMouseEvent* event) {
    CScene* scene = Scene();
    if (scene == nullptr || !Plain(event)) return;
    const QPoint p = event->position().toPoint();
    if (event->buttons() == Qt::LeftButton) {
        // The handle is taken from the layer just pressed, not from where the pointer last hovered (which
        // may have been over another layer).
        int mode = 0;
        if (scene->SelectAt(p.x(), p.y()) != nullptr)
            scene->WithSelectedLayer([&](LayerNode& node) {
                const LayerRect r = node.layer->GetRect();
                mode = InMoveArea(r, p) ? kDragMove : HandleAt(r, p);
            });
        SetDragMode(mode);
        last_ = p;
    } else if (event->buttons() == Qt::RightButton) {
        if (LayerNode* hit = scene->SelectAt(p.x(), p.y())) menu_->ShowFor(hit, event->globalPosition().toPoint());
    }
}

void CBGPanel::mouseMoveEvent(QMouseEvent* event) {
    CScene* scene = Scene();
    if (scene == nullptr || !Plain(event)) return;
    const QPoint p = event->position().toPoint();
    if (event->buttons() == Qt::NoButton) {
        int mode = 0;
        scene->WithSelectedLayer([&](LayerNode& node) { mode = HandleAt(node.layer->GetRect(), p); });
        SetDragMode(mode);
    } else if (event->buttons() == Qt::LeftButton) {
        const float scale = shared_->Geometry().scale;
        const int dx = p.x() - last_.x(), dy = p.y() - last_.y();
        // Without a handle there is nothing to drag (and a pending re-render of a caption stays pending).
        const bool selected = scene->WithSelectedLayer([&](LayerNode& node) {
            if (dragMode_ != 0) node.layer->Drag(dragMode_, dx, dy, scale);
        });
        if (selected)
            last_ = p;
        else
            SetDragMode(0);
    }
}

void CBGPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragMode_ == kDragMove) SetDragMode(0);
}

void CBGPanel::Nudge(int dx, int dy) {
    CScene* scene = Scene();
    if (scene == nullptr) return;
    scene->WithSelectedLayer([&](LayerNode& node) {
        LayerRect r = node.layer->GetRect();
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
        node.layer->SetRect(r);
        node.layer->reRender = 0;
    });
}

void CBGPanel::HandleKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Left:
            Nudge(-1, 0);
            break;
        case Qt::Key_Right:
            Nudge(1, 0);
            break;
        case Qt::Key_Up:
            Nudge(0, -1);
            break;
        case Qt::Key_Down:
            Nudge(0, 1);
            break;
        case Qt::Key_Delete: {
            CScene* scene = Scene();
            if (scene == nullptr) break;
            LayerNode* node = nullptr;
            scene->WithSelectedLayer([&](LayerNode& selected) { node = &selected; });
            if (node == nullptr) break;
            const auto wParam = reinterpret_cast<uintptr_t>(node);
            PostWindowMessage(owner_, WM_SCENE_DELETE, wParam, 0);
            scene->PostThreadMessage(WM_SCENE_DELETE, wParam, 0);
            break;
        }
        default:
            break;
    }
}

void CBGPanel::ReplaceCaption(LayerNode* node, const std::string& text, const TextStyle& style) {
    CScene* scene = Scene();
    if (scene == nullptr || node == nullptr) return;
    auto caption = std::make_unique<CTxtLayer>(text, style, kFourccRV24);
    caption->reRender = 1;
    scene->ReplaceLayer(node, std::move(caption));
}
