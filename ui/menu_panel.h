// The layer context panel: the pop-up a right click on a layer of the preview opens at the pointer, with
// one skinned entry per layer command. The stacking and delete entries post their code with the layer to
// the composition thread and to the owner window (main screen: the owner hears "to the bottom", the
// scene "main screen"); natural size and the proportion lock act on the layer at once; border and
// settings go to the handler the main window sets (nothing until it does). Every entry acts only while
// its layer is still the view's selection. It closes after a choice, or through its pointer timer.
// Window's thread.
#pragma once

#include <array>
#include <functional>

#include "ui/img_txt_button.h"
#include "ui/popup_panel.h"

class CScene;
class IWindowTarget;
struct LayerNode;

// The entries, by control identifier.
enum LayerCommand : int {
    kCmdMoveUp = 1072,
    kCmdSetting = 1073,
    kCmdOriginalRate = 1074,
    kCmdMoveDown = 1075,
    kCmdOriginalSize = 1076,
    kCmdMoveTop = 1077,
    kCmdMoveBottom = 1078,
    kCmdDelete = 1079,
    kCmdMainScreen = 1080,
    kCmdBorder = 1081,
};

class CMenuPanel : public CPopupPanel {
public:
    using SceneAccess = std::function<CScene*()>;
    using CommandHandler = std::function<void(int command, LayerNode* node)>;
    static constexpr int kEntries = 10;

    // scene: the scene while it exists (null after); owner: the main window's target.
    CMenuPanel(SceneAccess scene, IWindowTarget* owner, QWidget* parent);

    // Shows the panel for node at a desktop point, inside the screen that holds the point.
    void ShowFor(LayerNode* node, const QPoint& globalPointer);
    void SetCommandHandler(CommandHandler handler) { handler_ = std::move(handler); }
    // Carries out one entry, as its click does.
    void Run(int command);

    CImgTxtButton* Entry(int command) const;
    LayerNode* Node() const { return node_; }

private:
    SceneAccess scene_;
    IWindowTarget* owner_;
    CommandHandler handler_;
    LayerNode* node_ = nullptr;
    std::array<CImgTxtButton*, kEntries> entries_{};
};
