// The volume panels of the microphone and the system sound: a vertical slider (loudest at the top) in a
// pop-up under the button. Every change sets the mixer's gain at once and tells the main window whether
// the source is now silent (WM_MIC_STATE or WM_SPK_STATE), so its button shows the muted look. Main thread.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/window_target.h"
#include "ui/popup_panel.h"

class CSliderButton;

class CVolumePanel : public CPopupPanel, private IWindowTarget {
public:
    // stateCode: WM_MIC_STATE or WM_SPK_STATE; setGain receives 0.0 to 1.0.
    CVolumePanel(QWidget* owner, IWindowTarget* mainWindow, uint32_t stateCode, std::function<void(float)> setGain);

    // The gain the panel shows (0.0 to 1.0), without telling anyone.
    void ShowGain(float gain);
    float Gain() const { return gain_; }
    CSliderButton* Slider() const { return slider_; }

private:
    // The slider's reports arrive here, on the main thread.
    bool Post(uint32_t code, uintptr_t wParam, intptr_t lParam) override;

    IWindowTarget* mainWindow_;
    const uint32_t stateCode_;
    std::function<void(float)> setGain_;
    CSliderButton* slider_;
    float gain_ = 0.0f;
};
