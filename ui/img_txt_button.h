// The skinned buttons with a text: the image as CImageButton or CDblImgButton draws it, then the text
// (ButtonText) on it. Main thread.
#pragma once

#include <QString>

#include "ui/image_button.h"

class CImgTxtButton : public CImageButton {
public:
    CImgTxtButton(const QString& base, const QString& text, int id, QWidget* parent = nullptr)
        : CImageButton(base, id, parent) {
        SetText(text);
    }
};

class CDblImgTxtButton : public CDblImgButton {
public:
    CDblImgTxtButton(const QString& first, const QString& second, const QString& text, int id,
                     QWidget* parent = nullptr)
        : CDblImgButton(first, second, id, parent) {
        SetText(text);
    }
};
