#include "app/shell_loop.h"

void RunShellLoop(const std::function<ServerKind()>& kind, IShellWindows& windows) {
    bool first = true;
    for (;;) {
        if (kind() == kServerDirectRtmp) {
            windows.RunMain();
            return;
        }
        if (!windows.RunLogon(first)) return;
        first = false;
        if (windows.RunMain() != kMainResultLogoff) return;
    }
}
