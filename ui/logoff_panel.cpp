#include "ui/logoff_panel.h"

#include "platform/window_messages.h"
#include "platform/window_target.h"
#include "ui/image_button.h"

CLogoffPanel::CLogoffPanel(QWidget* owner, IWindowTarget* mainWindow)
    : CPopupPanel("logoff_bg", owner), button_(new CImageButton("logoff", kIdLogoff, this)) {
    button_->setFocusPolicy(Qt::NoFocus);
    button_->move((width() - button_->width()) / 2, (height() - button_->height()) / 2);
    connect(button_, &QAbstractButton::clicked, this, [this, mainWindow] {
        PostWindowMessage(mainWindow, WM_LOGOFF, 1, 0);
        HidePanel();
    });
}
