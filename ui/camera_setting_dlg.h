// CCameraSettingDlg, which camera a camera source shows: one tile per capture device, named. The main
// window opens it with the devices of the capture registry and takes Name() after OK. Main thread.
#pragma once

#include <string>
#include <vector>

#include "ui/setting_dialog.h"

class CChoiceTiles;

class CCameraSettingDlg : public CSettingDialog {
public:
    CCameraSettingDlg(const std::vector<std::string>& names, QWidget* parent = nullptr);

    // The chosen camera; the first until another is chosen, empty without cameras.
    std::string Name() const;
    CChoiceTiles* Tiles() const { return tiles_; }

private:
    std::vector<std::string> names_;
    CChoiceTiles* tiles_;
};
