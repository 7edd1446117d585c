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
