#include "ui/screen_setting_dlg.h"

#include "ui/choice_tiles.h"

namespace {

const QRect kScreenArea(31, 15, 66, 44);  // the monitor image's screen, where its number goes

}  // namespace

CScreenSettingDlg::CScreenSettingDlg(const std::vector<MonitorRect>& monitors, QWidget* parent)
    : CSettingDialog("screen_bg", QSize(500, 260), parent), tiles_(new CChoiceTiles(this)) {
    tiles_->setGeometry(24, kTitleBand + 16, width() - 48, 124);
    for (size_t i = 0; i < monitors.size(); ++i) {
        const MonitorRect& monitor = monitors[i];
        tiles_->AddTile("monitor", kFirstTileId + static_cast<int>(i), QString::number(i + 1), kScreenArea, 22,
                        QString("%1 × %2").arg(monitor.Width()).arg(monitor.Height()));
    }
    tiles_->Choose(0);
}

int CScreenSettingDlg::Index() const { return tiles_->Chosen(); }
