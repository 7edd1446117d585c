#include "ui/border_setting_dlg.h"

#include <QLineEdit>

#include "app/language_table.h"
#include "ui/dialog_texts.h"
#include "ui/skin.h"
#include "ui/skin_color_button.h"

namespace {

constexpr int kLabelX = 24;
constexpr int kLabelWidth = 80;
constexpr int kFieldX = 110;
constexpr uint32_t kBlack = 0;  // a new source's border colour

}  // namespace

CBorderSettingDlg::CBorderSettingDlg(uint32_t colour, int width, QWidget* parent)
    : CSettingDialog("border_bg", QSize(360, 210), parent), width_(width) {
    AddLabel(this, UiText(kTextColorLabel), kLabelX, 58, kLabelWidth);
    colour_ = new CSkinColorButton(1001, kBlack, this);
    colour_->move(kFieldX, 58 + (30 - colour_->height()) / 2);
    colour_->SetColor(colour);

    AddLabel(this, UiText(kTextSizeLabel), kLabelX, 102, kLabelWidth);
    edit_ = AddEdit(this, kFieldX, 102, 80, 4);
    edit_->setText(QString::number(width));
    AddLabel(this, DialogCaption(DialogText::kPixels), kFieldX + 88, 102, 60);
}

uint32_t CBorderSettingDlg::Colour() const { return colour_->Color(); }

bool CBorderSettingDlg::Transfer() { return ReadNumber(edit_, 0, kMaxWidth, &width_); }
