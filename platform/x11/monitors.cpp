#include "platform/x11/monitors.h"

#include <xcb/randr.h>

#include "platform/x11/x_connection.h"

std::vector<MonitorRect> EnumerateMonitors(CXConnection* conn) {
    std::vector<MonitorRect> monitors;
    if (conn == nullptr || conn->Broken()) return monitors;
    if (conn->HasRandr()) {
        XcbReply<xcb_randr_get_monitors_reply_t> reply(
            xcb_randr_get_monitors_reply(conn->Get(), xcb_randr_get_monitors(conn->Get(), conn->Root(), 1), nullptr));
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get());
                 it.rem > 0 && static_cast<int>(monitors.size()) < kMaxMonitors; xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t* m = it.data;
                if (m->width == 0 || m->height == 0) continue;
                monitors.push_back(MonitorRect{m->x, m->y, m->x + m->width, m->y + m->height});
            }
        }
    }
    if (monitors.empty()) monitors.push_back(MonitorRect{0, 0, conn->ScreenWidth(), conn->ScreenHeight()});
    return monitors;
}

std::vector<MonitorRect> EnumerateMonitors() {
    std::unique_ptr<CXConnection> conn = CXConnection::Open();
    return EnumerateMonitors(conn.get());
}
