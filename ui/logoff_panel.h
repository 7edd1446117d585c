// CLogoffPanel, the pop-up under the account in the main window with its one button (the words are the
// skin image's): pressing it posts WM_LOGOFF (wParam 1) to the main window, which decides whether the
// log-off may happen, and closes the panel. Main thread.
#pragma once

#include "ui/popup_panel.h"

class IWindowTarget;
class CImageButton;

class CLogoffPanel : public CPopupPanel {
public:
    static constexpr int kIdLogoff = 1;

    // owner: the window the pop-up belongs to; mainWindow: where WM_LOGOFF goes.
    CLogoffPanel(QWidget* owner, IWindowTarget* mainWindow);

    CImageButton* LogoffButton() const { return button_; }

private:
    CImageButton* button_;
};
