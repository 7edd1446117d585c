#include "ui/img_txt_button.h"

#include <QPainter>

#include "ui/skin.h"

void ButtonText::Paint(QPainter& painter, const QRect& rect, bool hot) const {
    if (text.isEmpty()) return;
    const QRect area = rect.adjusted(5, 0, -5, 0);
    painter.setFont(CSkin::Current().ControlFont(pixelSize, bold));
    painter.setPen(hot ? CSkin::HotText() : CSkin::NormalText());
    if (indent < 0) {
        painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, text);
    } else {
        painter.drawText(area.adjusted(indent, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
}

CImgTxtButton::CImgTxtButton(const QString& base, const QString& text, int id, QWidget* parent)
    : CImageButton(base, id, parent) {
    text_.text = text;
    setAccessibleName(text);
}

void CImgTxtButton::SetText(const QString& text) {
    text_.text = text;
    setAccessibleName(text);
    update();
}

void CImgTxtButton::SetTextIndent(int indent) {
    text_.indent = indent;
    update();
}

void CImgTxtButton::SetTextSize(int pixelSize, bool bold) {
    text_.pixelSize = pixelSize;
    text_.bold = bold;
    update();
}

void CImgTxtButton::PaintOver(QPainter& painter) { text_.Paint(painter, rect(), Hovered() || Selected()); }

CDblImgTxtButton::CDblImgTxtButton(const QString& first, const QString& second, const QString& text, int id,
                                   QWidget* parent)
    : CDblImgButton(first, second, id, parent) {
    text_.text = text;
    setAccessibleName(text);
}

void CDblImgTxtButton::SetText(const QString& text) {
    text_.text = text;
    setAccessibleName(text);
    update();
}

void CDblImgTxtButton::SetTextIndent(int indent) {
    text_.indent = indent;
    update();
}

void CDblImgTxtButton::PaintOver(QPainter& painter) { text_.Paint(painter, rect(), Hovered() || Selected()); }
