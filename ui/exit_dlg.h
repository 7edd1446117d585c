// CExitDlg, what closing the main window does: minimise to the notification area (the choice it
// starts with, so that a live is never ended by accident) or quit the program. The main window opens
// it and acts on Choice() after OK. Main thread.
#pragma once

#include "ui/setting_dialog.h"

class CSkinCheckBox;

class CExitDlg : public CSettingDialog {
public:
    enum class Choice { kMinimise, kQuit };

    explicit CExitDlg(QWidget* parent = nullptr);

    Choice Choice() const;
    CSkinCheckBox* MinimizeButton() const { return minimize_; }
    CSkinCheckBox* QuitButton() const { return quit_; }

private:
    CSkinCheckBox* minimize_;
    CSkinCheckBox* quit_;
};
