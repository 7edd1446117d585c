// What the scene needs of the view that shows it: reset to new sizes, refresh from the canvas,
// and the selected layer. The user interface's view implements it. The scene calls Reset on the
// main thread (initialisation) or the composition thread (a resize), Refresh on the composition
// thread, and the selection operations under its list lock from either thread (the selection is
// cleared there before a node is freed), so implementations keep the selection in an atomic.
#pragma once

#include <cstdint>

#include "imaging/image_buffer.h"

struct LayerNode;

class ISceneView {
public:
    virtual ~ISceneView() = default;
    virtual void Reset(int canvasWidth, int viewWidth, int viewHeight, uint32_t fourcc, int viewLeft, int viewTop) = 0;
    // Composition thread: a new frame is in the canvas.
    virtual void Refresh(const ImageBuffer* canvas) = 0;
    virtual LayerNode* SelectedNode() const = 0;
    virtual void SetSelectedNode(LayerNode* node) = 0;
    // Clears the selection when it is node (the layer is being deleted).
    virtual void ClearSelectionIf(LayerNode* node) = 0;
};
