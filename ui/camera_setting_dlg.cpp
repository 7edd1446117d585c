#include "ui/camera_setting_dlg.h"

#include "ui/choice_tiles.h"

namespace {

const QRect kNameArea(6, 62, 116, 22);  // the camera image leaves its lower part to the name

}  // namespace

CCameraSettingDlg::CCameraSettingDlg(const std::vector<std::string>& names, QWidget* parent)
    : CSettingDialog("cam_bg", QSize(500, 260), parent), names_(names), tiles_(new CChoiceTiles(this)) {
    tiles_->setGeometry(24, kTitleBand + 16, width() - 48, 124);
    for (size_t i = 0; i < names_.size(); ++i)
        tiles_->AddTile("cambtn", static_cast<int>(i), QString::fromStdString(names_[i]), kNameArea, 12);
    tiles_->Choose(0);
}

std::string CCameraSettingDlg::Name() const {
    const int chosen = tiles_->Chosen();
    return chosen >= 0 ? names_[static_cast<size_t>(chosen)] : std::string();
}
