// CBorderSettingDlg, a source's border: its colour and its width of 0 to 100 pixels. The scene view
// opens it for the selected layer and stores Colour() and Width() after OK. Main thread.
#pragma once

#include <cstdint>

#include "ui/setting_dialog.h"

class CSkinColorButton;
class QLineEdit;

class CBorderSettingDlg : public CSettingDialog {
public:
    static constexpr int kMaxWidth = 100;

    // colour: 0x00BBGGRR.
    CBorderSettingDlg(uint32_t colour, int width, QWidget* parent = nullptr);

    uint32_t Colour() const;
    int Width() const { return width_; }

    CSkinColorButton* ColorButton() const { return colour_; }
    QLineEdit* WidthEdit() const { return edit_; }

protected:
    bool Transfer() override;

private:
    CSkinColorButton* colour_ = nullptr;
    QLineEdit* edit_ = nullptr;
    int width_;
};
