// CMsgPanel, the skinned message box behind ShowMessage: the warning icon and a text, OK and, when
// asked, Cancel, and the close button (Cancel). Drawn at alpha 200 of 255 where the desktop composites.
// Every message the user sees goes through it. Main thread.
#pragma once

#include <QString>

#include "ui/skin_dialog.h"

class QLabel;
class CImageButton;

class CMsgPanel : public CSkinDialog {
public:
    CMsgPanel(const QString& text, bool withCancel, QWidget* parent = nullptr);

    CImageButton* OkButton() const { return ok_; }
    CImageButton* CancelButton() const { return cancel_; }
    CImageButton* CloseButton() const { return close_; }
    QString Text() const;

private:
    QLabel* text_ = nullptr;
    CImageButton* ok_ = nullptr;
    CImageButton* cancel_ = nullptr;
    CImageButton* close_ = nullptr;
};

// Shows the message modally over the active window; true exactly when the user confirmed with OK.
bool ShowMessage(const QString& text, bool withCancel = false);
bool ShowMessage(const std::string& text, bool withCancel = false);
