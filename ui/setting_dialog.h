// CSettingDialog: what every settings dialog shares: its skin background with the title band, the
// close button (Cancel), OK and Cancel at the bottom right, labels in the dialogs' column, and the
// check of a number typed into a field. OK ends the dialog only when the dialog's Transfer accepts
// what the user entered. Run with exec(); main thread.
#pragma once

#include <QString>

#include "ui/skin_dialog.h"

class CImageButton;
class CLabel;
class QLineEdit;

class CSettingDialog : public CSkinDialog {
public:
    CImageButton* OkButton() const { return ok_; }
    CImageButton* CancelButton() const { return cancel_; }
    CImageButton* CloseButton() const { return close_; }

    // The height of the title band drawn in every settings background.
    static constexpr int kTitleBand = 40;

protected:
    // background: the skin image ("sys_bg", "txt_bg", ...); without it the window takes fallbackSize.
    CSettingDialog(const QString& background, const QSize& fallbackSize, QWidget* parent);

    // Called when OK is pressed: takes the controls' values; false keeps the dialog open (the
    // dialog has told the user why).
    virtual bool Transfer() { return true; }

    // A label of the dialogs' look at x, vertically centred on a row of rowHeight at y.
    static CLabel* AddLabel(QWidget* parent, const QString& text, int x, int y, int width, int rowHeight = 30);
    // A single-line field of the dialogs' look; maxDigits > 0 makes it take only that many digits.
    static QLineEdit* AddEdit(QWidget* parent, int x, int y, int width, int maxDigits = 0);

    // The number in field when it lies in low..high; otherwise the range message, the field
    // selected for correction, and false.
    static bool ReadNumber(QLineEdit* field, int low, int high, int* value);

    // Only the title band moves the window: elsewhere a press belongs to the fields.
    bool DragsAt(const QPoint& pos) const override;
    // Enter presses OK (except in a text of several lines, where it starts a new line).
    void keyPressEvent(QKeyEvent* event) override;
    // The keyboard goes to the first field: the skinned buttons show no focus, so they take none.
    void showEvent(QShowEvent* event) override;

private:
    CImageButton* ok_ = nullptr;
    CImageButton* cancel_ = nullptr;
    CImageButton* close_ = nullptr;
};
