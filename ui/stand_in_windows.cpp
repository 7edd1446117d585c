#include "ui/stand_in_windows.h"

#include "app/language_table.h"
#include "ui/img_txt_button.h"
#include "ui/skin.h"

CStandInMain::CStandInMain(StudioContext*) : CSkinDialog("banner") {
    setWindowTitle(QString::fromStdString(GetAppTitle()));
    setFixedSize(721, 120);
    auto* quit = new CImgTxtButton("btn", UiText(kTextExit), 0, this);
    quit->move(20, 70);
    connect(quit, &QAbstractButton::clicked, this, &QDialog::reject);
}
