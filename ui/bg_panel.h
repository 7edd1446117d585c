// The scene view: the child of the main window that shows the composed picture at the view size (720
// pixels wide, the output's proportions) and edits the scene with the mouse and the keys the main window
// forwards. A left press selects the topmost layer under the pointer and, away from its 10-pixel margin,
// starts a move; hovering the margin of the selection picks one of eight resize handles, shown by the
// cursor; a right press opens the layer context panel. The composition thread draws the frames through
// the scene's CSceneViewLink (scene_view_link.h); the panel owns the renderer that shows them.
//
// The panel notices by itself when it is hidden or its window is minimised, and the view then skips the
// scaling and conversion of every frame. Window's thread.
#pragma once

#include <QPoint>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "ui/menu_panel.h"
#include "ui/preview_renderer.h"
#include "ui/scene_view_link.h"

class CScene;
class IWindowTarget;
struct LayerNode;
struct TextStyle;

class CBGPanel : public QWidget {
public:
    // owner: the main window's target, also the scene's notification window. The panel becomes the
    // scene's view; the scene's Initialise (or a resize) places and sizes it.
    CBGPanel(CScene* scene, IWindowTarget* owner, QWidget* parent);
    ~CBGPanel() override;

    // The keys the main window forwards: the arrows move the selected layer by one view pixel, Delete
    // removes it (the owner and the composition thread hear of it). Other keys do nothing.
    void HandleKey(int qtKey);
    // Border (1081) and Setting (1073) of the context panel call handler with the selected node.
    void SetLayerCommandHandler(std::function<void(int command, LayerNode* node)> handler);
    // A caption's new text and style from its dialog: a new caption takes the node's place on the
    // composition thread, in the old one's rectangle.
    void ReplaceCaption(LayerNode* node, const std::string& text, const TextStyle& style);

    LayerNode* SelectedNode() const { return shared_->selected; }
    // 0 none, 1 move, 2 to 9 the resize handles (DragMode of base_layer.h).
    int DragMode() const { return dragMode_; }
    // Whether the composition thread draws frames for the panel now.
    bool PreviewShowing() const { return shared_->showing; }
    PreviewRenderer* Renderer() const { return renderer_.get(); }
    CMenuPanel* ContextPanel() const { return menu_; }
    const CPreviewFrames& Frames() const { return *shared_->frames; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CScene* Scene() const { return shared_->scene; }
    // Places the panel as the scene's last reset says and makes the renderer for its size.
    void ApplyGeometry();
    void UpdateShowing();
    void SetDragMode(int mode);
    void Nudge(int dx, int dy);

    const std::shared_ptr<CViewShared> shared_;
    IWindowTarget* owner_;
    CMenuPanel* menu_;
    std::unique_ptr<PreviewRenderer> renderer_;
    QWidget* watchedWindow_ = nullptr;
    int dragMode_ = 0;
    QPoint last_;
};
