// CScreenSettingDlg, which monitor a screen source captures: one tile per monitor, numbered in the
// order the desktop lists them, with its size under it. The main window opens it when there is more
// than one monitor and takes Index() after OK. Main thread.
#pragma once

#include <vector>

#include "platform/x11/monitors.h"
#include "ui/setting_dialog.h"

class CChoiceTiles;

class CScreenSettingDlg : public CSettingDialog {
public:
    static constexpr int kFirstTileId = 100;  // tile identifiers: 100 + the monitor's index

    CScreenSettingDlg(const std::vector<MonitorRect>& monitors, QWidget* parent = nullptr);

    // The chosen monitor's index; the first until another is chosen, -1 without monitors.
    int Index() const;
    CChoiceTiles* Tiles() const { return tiles_; }

private:
    CChoiceTiles* tiles_;
};
