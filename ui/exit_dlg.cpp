#include "ui/exit_dlg.h"

#include "app/language_table.h"
#include "ui/skin.h"
#include "ui/skin_check_box.h"

CExitDlg::CExitDlg(QWidget* parent)
    : CSettingDialog("exit_bg", QSize(380, 220), parent),
      minimize_(new CSkinCheckBox(CSkinCheckBox::Look::kRadio, UiText(kTextMinimizeToTray), 0, this)),
      quit_(new CSkinCheckBox(CSkinCheckBox::Look::kRadio, UiText(kTextExit), 1, this)) {
    minimize_->move(40, kTitleBand + 32);
    quit_->move(40, kTitleBand + 72);
    minimize_->setChecked(true);
}

enum CExitDlg::Choice CExitDlg::Choice() const { return quit_->isChecked() ? Choice::kQuit : Choice::kMinimise; }
