// Message codes shared by windows, worker threads and the composition thread. The numbers are
// part of the program's contract between threads, so they never change.
#pragma once

#include <cstdint>

constexpr uint32_t WM_USER = 0x0400;

// Posted by the composition thread and the live engine to the main window.
constexpr uint32_t WM_LIVE_STATUS = WM_USER + 517;  // wParam: engine state, lParam: detail

// Posted by the live session's start thread to the window that asked for the start, once the start
// has ended: wParam 1 live, 0 failed, 2 called off.
constexpr uint32_t WM_LIVE_START_DONE = WM_USER + 528;

// Posted by the web session's workers to the window that started them.
constexpr uint32_t WM_LOGON_RESULT = WM_USER + 429;   // wParam: 1 logged on, 0 failed
constexpr uint32_t WM_ACTIVITY_LIST = WM_USER + 430;  // wParam: 0 list fetched, -1 no list
// Posted by the activity panel to its owner window.
constexpr uint32_t WM_ACTIVITY_SELECTED = WM_USER + 200;  // wParam: position of the chosen activity, from 0

// Posted to the main window by its own panels.
constexpr uint32_t WM_MIC_STATE = WM_USER + 530;     // wParam: non-zero = the muted look
constexpr uint32_t WM_SPK_STATE = WM_USER + 531;     // wParam: non-zero = the muted look
constexpr uint32_t WM_SHOW_CTRL = WM_USER + 532;     // wParam: non-zero = show the sources panel
constexpr uint32_t WM_LOGOFF = WM_USER + 301;        // wParam: 1
constexpr uint32_t WM_TRAY_NOTIFY = WM_USER + 1001;  // wParam: icon, lParam: mouse message
static_assert(WM_MIC_STATE == 0x612 && WM_SHOW_CTRL == 0x614 && WM_LOGOFF == 0x52D && WM_TRAY_NOTIFY == 0x7E9);
