// CTxtSettingDlg, the settings of a caption: its text, the font face (the faces installed here), the
// colour, the five style toggles, and the scrolling speed and direction as two groups of which one
// button each is lit. The main window (a new caption) and the scene view (a changed one) open it and
// take Text() and Style() after OK. Main thread.
#pragma once

#include <QStringList>
#include <string>

#include "scene/text_layer.h"
#include "ui/setting_dialog.h"

class CImgTxtButton;
class CListButton;
class CSkinColorButton;
class QPlainTextEdit;

class CTxtSettingDlg : public CSettingDialog {
public:
    static constexpr int kStyles = 5;   // bold, italic, underline, strike-out, hollow
    static constexpr int kChoices = 4;  // speeds, directions

    CTxtSettingDlg(const std::string& text, const TextStyle& style, QWidget* parent = nullptr);

    std::string Text() const;
    TextStyle Style() const;

    QPlainTextEdit* TextEdit() const { return text_; }
    CListButton* FontList() const { return fonts_; }
    CSkinColorButton* ColorButton() const { return colour_; }
    CImgTxtButton* StyleToggle(int index) const { return styles_[index]; }
    CImgTxtButton* SpeedButton(int speed) const { return speeds_[speed]; }
    CImgTxtButton* DirectionButton(int direction) const { return directions_[direction]; }

private:
    // A row of toggle buttons at y with a label; ids from firstId. exclusive: one of them is lit.
    void AddToggleRow(int y, const QString& label, const QStringList& captions, int firstId, bool exclusive,
                      CImgTxtButton** buttons);
    static int LitIndex(CImgTxtButton* const* buttons);

    QPlainTextEdit* text_ = nullptr;
    CListButton* fonts_ = nullptr;
    CSkinColorButton* colour_ = nullptr;
    CImgTxtButton* styles_[kStyles] = {};
    CImgTxtButton* speeds_[kChoices] = {};
    CImgTxtButton* directions_[kChoices] = {};
};
