// Message codes shared by windows, worker threads and the composition thread. The numbers are
// part of the program's contract between threads, so they never change.
#pragma once

#include <cstdint>

constexpr uint32_t WM_USER = 0x0400;

// Posted by the composition thread and the live engine to the main window.
constexpr uint32_t WM_LIVE_STATUS = WM_USER + 517;  // wParam: engine state, lParam: detail
