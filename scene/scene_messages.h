// Thread messages to the composition thread, and the window messages the scene posts to its
// notification window. wParam carries a LayerNode pointer unless said otherwise.
#pragma once

#include "platform/window_messages.h"

constexpr uint32_t WM_SCENE_SET_ENGINE = WM_USER + 99;  // wParam: ILiveFeed* or 0, lParam: start ms
constexpr uint32_t WM_SCENE_ADD_TOP = WM_USER + 100;
constexpr uint32_t WM_SCENE_ADD_BOTTOM = WM_USER + 101;
constexpr uint32_t WM_SCENE_MOVE_UP = WM_USER + 102;
constexpr uint32_t WM_SCENE_MOVE_DOWN = WM_USER + 103;
constexpr uint32_t WM_SCENE_TO_TOP = WM_USER + 104;
constexpr uint32_t WM_SCENE_TO_BOTTOM = WM_USER + 105;
constexpr uint32_t WM_SCENE_MAIN_SCREEN = WM_USER + 106;
constexpr uint32_t WM_SCENE_DELETE = WM_USER + 107;
constexpr uint32_t WM_SCENE_RESIZE = WM_USER + 108;      // wParam: width, lParam: height
constexpr uint32_t WM_SCENE_SELECTED = WM_USER + 109;    // window message: a layer was hit
constexpr uint32_t WM_SCENE_FILE_ENDED = WM_USER + 110;  // window message: a media file ended
constexpr uint32_t WM_SCENE_SET_KEYED = WM_USER + 111;   // lParam: 0 or 1
// lParam: the CBaseLayer that takes the node's place (a caption edited in its dialog, a camera given
// another device); the message owns it until the composition thread puts it in, and the old layer is
// destroyed on that thread.
constexpr uint32_t WM_SCENE_REPLACE_LAYER = WM_USER + 112;
// wParam: a std::promise<void> the composition thread sets when it reaches the message, that is once
// it has handled every message posted before.
constexpr uint32_t WM_SCENE_BARRIER = WM_USER + 113;

static_assert(WM_SCENE_SET_ENGINE == 1123 && WM_SCENE_SET_KEYED == 1135 && WM_SCENE_REPLACE_LAYER == 1136);
