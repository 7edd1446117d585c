// The skinned buttons with a text: the image as CImageButton or CDblImgButton draws it, then the text
// on one line, vertically centred in the button narrowed by 5 pixels on each side, in the hot colour
// while hovered or selected and the normal colour otherwise. The text starts at an indent (buttons
// whose image carries an icon at its left) or is centred. Main thread.
#pragma once

#include <QString>

#include "ui/image_button.h"

// How the text of a skinned button sits; shared by both kinds.
struct ButtonText {
    QString text;
    int indent = -1;     // pixels from the narrowed rectangle's left; -1 centres the text
    int pixelSize = 13;  // of the skinned controls' face
    bool bold = false;

    void Paint(QPainter& painter, const QRect& rect, bool hot) const;
};

class CImgTxtButton : public CImageButton {
public:
    CImgTxtButton(const QString& base, const QString& text, int id, QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return text_.text; }
    void SetTextIndent(int indent);
    void SetTextSize(int pixelSize, bool bold = false);

protected:
    void PaintOver(QPainter& painter) override;

private:
    ButtonText text_;
};

class CDblImgTxtButton : public CDblImgButton {
public:
    CDblImgTxtButton(const QString& first, const QString& second, const QString& text, int id,
                     QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return text_.text; }
    void SetTextIndent(int indent);

protected:
    void PaintOver(QPainter& painter) override;

private:
    ButtonText text_;
};
