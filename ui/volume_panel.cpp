#include "ui/volume_panel.h"

#include <algorithm>
#include <cmath>

#include "ui/slider_button.h"

namespace {

constexpr int kSteps = 100;

}  // namespace

CVolumePanel::CVolumePanel(QWidget* owner, IWindowTarget* mainWindow, uint32_t stateCode,
                           std::function<void(float)> setGain)
    : CPopupPanel("volume_bg", owner), mainWindow_(mainWindow), stateCode_(stateCode), setGain_(std::move(setGain)) {
    if (width() < 20) setFixedSize(56, 160);
    slider_ = new CSliderButton(CSliderButton::Orientation::kVertical, 0, kSteps, true, this, this);
    slider_->setGeometry((width() - 20) / 2, 16, 20, height() - 32);
}

void CVolumePanel::ShowGain(float gain) {
    gain_ = std::clamp(gain, 0.0f, 1.0f);
    slider_->SetValue(static_cast<int>(std::lround(gain_ * kSteps)));
}

bool CVolumePanel::Post(uint32_t code, uintptr_t, intptr_t lParam) {
    if (code != WM_SLIDER_CHANGED || lParam < 0) return true;  // the thumb's first placement carries no value
    gain_ = static_cast<float>(lParam) / kSteps;
    if (setGain_) setGain_(gain_);
    PostWindowMessage(mainWindow_, stateCode_, lParam == 0 ? 1 : 0, 0);
    return true;
}
