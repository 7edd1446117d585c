// The list of monitors as the desktop arranges them: the server's RandR monitors in the order it
// lists them, at most ten; the whole screen when RandR has none. Main thread.
#pragma once

#include <cstdint>
#include <vector>

class CXConnection;

struct MonitorRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // desktop coordinates, right/bottom exclusive
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const MonitorRect&) const = default;
};

constexpr int kMaxMonitors = 10;

std::vector<MonitorRect> EnumerateMonitors(CXConnection* conn);
// Opens $DISPLAY for the question; empty when there is no display.
std::vector<MonitorRect> EnumerateMonitors();
