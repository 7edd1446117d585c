#include "ui/skin_label.h"

#include "ui/skin.h"

CLabel::CLabel(const QString& text, QWidget* parent, int pixelSize, const QColor& colour, bool bold)
    : QLabel(text, parent) {
    setFont(CSkin::Current().ControlFont(pixelSize, bold));
    setAttribute(Qt::WA_TranslucentBackground);
    SetColour(colour);
}

void CLabel::SetColour(const QColor& colour) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, colour);
    setPalette(palette);
}
