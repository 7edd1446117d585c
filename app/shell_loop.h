// How the windowed program alternates its two windows for one run: the logon dialog and the main
// window, until the user quits. A direct-RTMP server needs no logon: the main window runs once. A
// log-off (the main window ending with 1) shows the logon dialog again, no longer as the first of the
// run. Main thread.
#pragma once

#include <functional>

#include "app/server_address.h"

class IShellWindows {
public:
    virtual ~IShellWindows() = default;
    // Runs the logon dialog modally; true when it ended with OK. Automatic logon is tried only when
    // firstOfRun is set.
    virtual bool RunLogon(bool firstOfRun) = 0;
    // Runs the main window modally: 1 when the user logged off, anything else when the program ends.
    virtual int RunMain() = 0;
};

constexpr int kMainResultLogoff = 1;

// kind: the web session's server kind as it is at each turn.
void RunShellLoop(const std::function<ServerKind()>& kind, IShellWindows& windows);
