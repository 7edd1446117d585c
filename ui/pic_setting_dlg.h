// CPicSettingDlg, the settings of a picture or media-file source: the file (typed or browsed), a
// 0-100 slider kept as 0-255 (a picture's opacity, a media file's volume) and the four playback
// options. The file's extension decides which of the two it is. The main window (a new source) and
// the scene view (a picture's opacity) open it and take Path(), Value(), PlayFlags() and IsPicture()
// after OK. Main thread.
#pragma once

#include <cstdint>
#include <string>

#include "ui/desktop_choosers.h"
#include "ui/setting_dialog.h"

class CImgTxtButton;
class CLabel;
class CSkinCheckBox;
class CSliderButton;
class QLineEdit;

class CPicSettingDlg : public CSettingDialog {
public:
    static constexpr int kPlayBoxes = 4;

    // value0to255: the opacity of a picture or the volume of a media file as the dialog keeps it;
    // playFlags: PlayFlag bits.
    CPicSettingDlg(const std::string& path, int value0to255, uint32_t playFlags, QWidget* parent = nullptr);

    std::string Path() const;
    // The slider's position p as p x 255 / 100; the value given until the slider is moved.
    int Value() const;
    uint32_t PlayFlags() const;
    bool IsPicture() const { return picture_; }

    void SetChoosers(DesktopChoosers choosers) { choosers_ = std::move(choosers); }

    QLineEdit* PathEdit() const { return path_; }
    CImgTxtButton* BrowseButton() const { return browse_; }
    CSliderButton* Slider() const { return slider_; }
    CLabel* SliderLabel() const { return sliderLabel_; }
    // In PlayFlag bit order: loop, restart when shown, pause when hidden, hide at the end.
    CSkinCheckBox* PlayBox(int bit) const { return boxes_[bit]; }

protected:
    intptr_t OnWindowMessage(uint32_t code, uintptr_t wParam, intptr_t lParam) override;

private:
    void Browse();
    // Picture or media file by the file's extension: the slider's label and the boxes follow.
    void DecideKind();

    DesktopChoosers choosers_ = DesktopChoosers::System();
    QLineEdit* path_ = nullptr;
    CImgTxtButton* browse_ = nullptr;
    CLabel* sliderLabel_ = nullptr;
    CLabel* percent_ = nullptr;
    CSliderButton* slider_ = nullptr;
    CSkinCheckBox* boxes_[kPlayBoxes] = {};
    int value_;  // 0-255
    bool picture_ = false;
};

// Whether a file is shown as a picture (by its extension, in any case).
bool IsPictureFile(const std::string& path);
