#include "ui/stand_in_windows.h"

#include "app/language_table.h"
#include "app/web_session.h"
#include "ui/img_txt_button.h"
#include "ui/skin.h"
#include "ui/skin_label.h"

CStandInLogon::CStandInLogon(StudioContext* context, bool) : CSkinDialog("logonbg") {
    setWindowTitle(QString::fromStdString(GetAppTitle()));
    auto* offline = new CImgTxtButton("logon", UiText(kTextOffline), 0, this);
    offline->move((width() - offline->width()) / 2, height() - 80);
    connect(offline, &QAbstractButton::clicked, this, [this, context] {
        context->session->SetServer("");
        accept();
    });
}

CStandInMain::CStandInMain(StudioContext*) : CSkinDialog("banner") {
    setWindowTitle(QString::fromStdString(GetAppTitle()));
    setFixedSize(721, 120);
    auto* quit = new CImgTxtButton("btn", UiText(kTextExit), 0, this);
    quit->move(20, 70);
    connect(quit, &QAbstractButton::clicked, this, &QDialog::reject);
}
