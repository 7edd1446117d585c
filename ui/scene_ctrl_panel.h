// The scene-sources panel beside the preview: one row per layer (CLayerCtrlPanel, 34 pixels: the
// kind's icon, the source's name, a visibility toggle), in the order the layers are drawn, top first.
// The main window is the scene's notification window and hands the scene's notices on, so the rows
// follow every change made in the view, the context panel or the panel itself. A row remembers its
// node only as a name for it: the node is never read here, and the scene checks it before acting.
// Main thread.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QScrollBar;
class CImageButton;
class CLayerCtrlPanel;
class CScene;
struct LayerNode;

class CSceneCtrlPanel : public QWidget {
public:
    static constexpr int kRowHeight = 34;
    static constexpr int kHeaderHeight = 36;

    CSceneCtrlPanel(CScene* scene, QWidget* parent);

    // A layer added with an add button goes on top of the scene, and its row on top of the panel; a
    // restored one (added at the bottom, in order) at the end.
    void AddRow(LayerNode* node, int32_t kind, const QString& name, bool visible, bool atTop);
    // A scene notice (WM_SCENE_DELETE, _MOVE_UP, _MOVE_DOWN, _TO_TOP, _TO_BOTTOM, _SELECTED,
    // _FILE_ENDED) for node.
    void Mirror(uint32_t code, LayerNode* node);
    // Clicking a row asks for its layer to be selected in the view.
    void OnRowClicked(std::function<void(LayerNode*)> handler) { onRowClicked_ = std::move(handler); }

    int RowCount() const { return static_cast<int>(rows_.size()); }
    // The rows' nodes, top first.
    std::vector<LayerNode*> Order() const;
    CLayerCtrlPanel* Row(LayerNode* node) const;
    QScrollBar* ScrollBar() const { return scroll_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int IndexOf(LayerNode* node) const;
    void LayOut();

    CScene* scene_;
    std::vector<CLayerCtrlPanel*> rows_;
    QWidget* area_;
    QScrollBar* scroll_;
    std::function<void(LayerNode*)> onRowClicked_;
};

// One row of the sources panel.
class CLayerCtrlPanel : public QWidget {
public:
    CLayerCtrlPanel(LayerNode* node, int32_t kind, const QString& name, bool visible, QWidget* parent);

    LayerNode* Node() const { return node_; }
    const QString& Name() const { return name_; }
    // A camera given another device.
    void SetName(const QString& name) {
        name_ = name;
        update();
    }
    bool LayerVisible() const { return visible_; }
    void SetLayerVisible(bool visible);
    bool Selected() const { return selected_; }
    void SetSelected(bool selected);
    CImageButton* Toggle() const { return toggle_; }
    // The user switched the layer's visibility with the toggle.
    void OnToggled(std::function<void(bool visible)> handler) { onToggled_ = std::move(handler); }
    void OnClicked(std::function<void()> handler) { onClicked_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    LayerNode* node_;
    QString name_;
    QString icon_;
    bool visible_;
    bool selected_ = false;
    bool hover_ = false;
    CImageButton* toggle_;
    std::function<void(bool)> onToggled_;
    std::function<void()> onClicked_;
};
