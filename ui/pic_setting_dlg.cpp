#include "ui/pic_setting_dlg.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <algorithm>
#include <bit>

#include "app/language_table.h"
#include "scene/file_device.h"
#include "ui/dialog_texts.h"
#include "ui/img_txt_button.h"
#include "ui/skin.h"
#include "ui/skin_check_box.h"
#include "ui/skin_label.h"
#include "ui/slider_button.h"

namespace {

constexpr int kLabelX = 24;
constexpr int kLabelWidth = 82;
constexpr int kFieldX = 110;
constexpr int kSliderWidth = 216;

struct PlayOption {
    uint32_t bit;
    int text;
    int id;
    QPoint at;
};

// Two by two: looping and restarting above, hiding and pausing below.
constexpr PlayOption kPlayOptions[] = {
    {kPlayLoop, kTextLoop, 1089, {kFieldX, 150}},
    {kPlayRestartWhenShown, kTextRestartWhenShown, 1061, {kFieldX + 186, 150}},
    {kPlayPauseWhenHidden, kTextStopWhenHidden, 1065, {kFieldX + 186, 196}},
    {kPlayHideAtEnd, kTextHideWhenPlaybackEnds, 1063, {kFieldX, 196}},
};

// The slider's position that keeps the value when it is taken back as p x 255 / 100.
int PercentOf(int value) { return (std::clamp(value, 0, 255) * 100 + 127) / 255; }

}  // namespace

bool IsPictureFile(const std::string& path) {
    static const QStringList kPictures = {"gif", "png", "jpg", "jpeg", "bmp"};
    return kPictures.contains(QFileInfo(QString::fromStdString(path)).suffix().toLower());
}

CPicSettingDlg::CPicSettingDlg(const std::string& path, int value0to255, uint32_t playFlags, QWidget* parent)
    : CSettingDialog("pic_bg", QSize(500, 320), parent), value_(std::clamp(value0to255, 0, 255)) {
    AddLabel(this, UiText(kTextFilesLabel), kLabelX, 56, kLabelWidth);
    path_ = AddEdit(this, kFieldX, 56, 272);
    path_->setText(QString::fromStdString(path));
    browse_ = new CImgTxtButton("btn", DialogCaption(DialogText::kBrowse), 1011, this);
    browse_->move(width() - 24 - browse_->width(), 56);
    connect(browse_, &QAbstractButton::clicked, this, [this] { Browse(); });
    connect(path_, &QLineEdit::textChanged, this, [this] { DecideKind(); });

    sliderLabel_ = AddLabel(this, QString(), kLabelX, 102, kLabelWidth);
    slider_ = new CSliderButton(CSliderButton::Orientation::kHorizontal, 0, 100, false, Target(), this);
    slider_->setGeometry(kFieldX, 102 + 5, kSliderWidth, 20);
    slider_->SetValue(PercentOf(value_));
    percent_ = AddLabel(this, QString("%1%").arg(PercentOf(value_)), kFieldX + kSliderWidth + 12, 102, 48);

    for (const PlayOption& option : kPlayOptions) {
        auto* box = new CSkinCheckBox(CSkinCheckBox::Look::kCheck, UiText(option.text), option.id, this);
        box->move(option.at);
        box->setChecked((playFlags & option.bit) != 0);
        boxes_[std::countr_zero(option.bit)] = box;
    }
    DecideKind();
}

void CPicSettingDlg::Browse() {
    if (!choosers_.chooseFile) return;
    const QString current = path_->text().trimmed();
    const QString start = current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath();
    const QString chosen = choosers_.chooseFile(this, start, QtFileFilter(GetText(kTextMediaFileFilter)));
    if (!chosen.isEmpty()) path_->setText(chosen);
}

void CPicSettingDlg::DecideKind() {
    // A long path shows its end in the field; the whole of it under the pointer.
    path_->setToolTip(path_->text());
    picture_ = IsPictureFile(Path());
    sliderLabel_->setText(picture_ ? UiText(kTextOpacityLabel) : DialogCaption(DialogText::kVolumeLabel));
    for (CSkinCheckBox* box : boxes_) box->setEnabled(!picture_);
}

intptr_t CPicSettingDlg::OnWindowMessage(uint32_t code, uintptr_t, intptr_t lParam) {
    // The thumb's first placement carries no value (below the range).
    if (code != WM_SLIDER_CHANGED || lParam < 0) return 0;
    value_ = SliderPercentToByte(static_cast<int>(lParam));
    percent_->setText(QString("%1%").arg(lParam));
    return 0;
}

std::string CPicSettingDlg::Path() const { return path_->text().trimmed().toStdString(); }

int CPicSettingDlg::Value() const { return value_; }

uint32_t CPicSettingDlg::PlayFlags() const {
    uint32_t flags = 0;
    for (int bit = 0; bit < kPlayBoxes; ++bit)
        if (boxes_[bit]->isChecked()) flags |= 1u << bit;
    return flags;
}
