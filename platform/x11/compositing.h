// Whether the desktop composites windows (a compositing manager owns the screen's _NET_WM_CM_S
// selection): only then do translucent windows show what lies behind them. Any thread.
#pragma once

class CXConnection;

bool DesktopComposites(CXConnection* conn);
// Opens $DISPLAY for the question; false when there is no display.
bool DesktopComposites();
