#include "ui/menu_panel.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "app/language_table.h"
#include "platform/window_target.h"
#include "scene/scene.h"
#include "ui/skin.h"

namespace {

struct EntryDef {
    int command;
    int text;
};

// In the order they are listed; the stacking commands first, the dialogs last.
constexpr EntryDef kEntryDefs[CMenuPanel::kEntries] = {
    {kCmdMoveUp, kTextMoveUp},
    {kCmdMoveDown, kTextMoveDown},
    {kCmdMoveTop, kTextMoveTop},
    {kCmdMoveBottom, kTextMoveBottom},
    {kCmdMainScreen, kTextMainScreen},
    {kCmdDelete, kTextDelete},
    {kCmdOriginalSize, kTextOriginalSize},
    {kCmdOriginalRate, kTextOriginalRatio},
    {kCmdBorder, kTextBorder},
    {kCmdSetting, kTextSetting},
};

constexpr int kEntryLeft = 4;
constexpr int kEntryTop = 8;
constexpr int kEntryHeight = 30;
constexpr int kTextIndent = 10;

// The message the scene thread gets for a posting entry; 0 for the others.
uint32_t SceneCode(int command) {
    switch (command) {
        case kCmdMoveUp:
            return WM_SCENE_MOVE_UP;
        case kCmdMoveDown:
            return WM_SCENE_MOVE_DOWN;
        case kCmdMoveTop:
            return WM_SCENE_TO_TOP;
        case kCmdMoveBottom:
            return WM_SCENE_TO_BOTTOM;
        case kCmdMainScreen:
            return WM_SCENE_MAIN_SCREEN;
        case kCmdDelete:
            return WM_SCENE_DELETE;
        default:
            return 0;
    }
}

}  // namespace

CMenuPanel::CMenuPanel(SceneAccess scene, IWindowTarget* owner, QWidget* parent)
    : CPopupPanel("menu_bg", parent), scene_(std::move(scene)), owner_(owner) {
    for (int i = 0; i < kEntries; ++i) {
        const EntryDef& def = kEntryDefs[i];
        auto* entry = new CImgTxtButton("menuitem", UiText(def.text), def.command, this);
        entry->move(kEntryLeft, kEntryTop + i * kEntryHeight);
        entry->SetTextIndent(kTextIndent);
        connect(entry, &QAbstractButton::clicked, this, [this, command = def.command] { Run(command); });
        entries_[i] = entry;
    }
}

CImgTxtButton* CMenuPanel::Entry(int command) const {
    for (CImgTxtButton* entry : entries_)
        if (entry->Id() == command) return entry;
    return nullptr;
}

void CMenuPanel::ShowFor(LayerNode* node, const QPoint& globalPointer) {
    node_ = node;
    // Below and right of the pointer where the screen has room, otherwise above or left of it.
    QPoint at = globalPointer;
    const QScreen* screen = QGuiApplication::screenAt(globalPointer);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect room = screen->availableGeometry();
        if (at.x() + width() > room.right() + 1) at.setX(globalPointer.x() - width() + 1);
        if (at.y() + height() > room.bottom() + 1) at.setY(globalPointer.y() - height() + 1);
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - width())));
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - height())));
    }
    ShowAt(at);
}

void CMenuPanel::Run(int command) {
    HidePanel();
    CScene* scene = scene_ ? scene_() : nullptr;
    if (scene == nullptr || node_ == nullptr) return;
    // The panel may have stayed open while the layer went away or another was chosen: act only on the
    // layer still selected, and only while the scene cannot delete it.
    LayerNode* node = nullptr;
    scene->WithSelectedLayer([&](LayerNode& selected) {
        if (&selected != node_) return;
        node = &selected;
        CBaseLayer& layer = *selected.layer;
        if (command == kCmdOriginalSize)
            layer.ResetSize(scene->CanvasWidth(), scene->CanvasHeight(), kViewWidth, scene->ViewHeight(),
                            scene->Scale());
        else if (command == kCmdOriginalRate)
            layer.keepRatio = layer.keepRatio ? 0 : 1;
    });
    if (node == nullptr) return;

    const auto wParam = reinterpret_cast<uintptr_t>(node);
    if (const uint32_t code = SceneCode(command); code != 0) {
        // The sources panel mirrors a main screen as a move to the bottom.
        PostWindowMessage(owner_, code == WM_SCENE_MAIN_SCREEN ? WM_SCENE_TO_BOTTOM : code, wParam, 0);
        scene->PostThreadMessage(code, wParam, 0);
    } else if ((command == kCmdBorder || command == kCmdSetting) && handler_) {
        // Outside the scene's lock: the handler runs dialogs.
        handler_(command, node);
    }
}
