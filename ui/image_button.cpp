#include "ui/image_button.h"

#include <QEvent>
#include <QPainter>

#include "ui/skin.h"

namespace {

QPixmap Load(const QString& name) { return CSkin::Current().Image(name); }

}  // namespace

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

CSkinButton::CSkinButton(int id, QWidget* parent) : QAbstractButton(parent), id_(id) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

QSize CSkinButton::sizeHint() const {
    const QPixmap image = CurrentImage();
    return image.isNull() ? QSize(24, 24) : image.size();
}

void CSkinButton::SetSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

void CSkinButton::SetText(const QString& text) {
    text_.text = text;
    setAccessibleName(text);
    update();
}

void CSkinButton::SetTextIndent(int indent) {
    text_.indent = indent;
    update();
}

void CSkinButton::SetTextSize(int pixelSize, bool bold) {
    text_.pixelSize = pixelSize;
    text_.bold = bold;
    update();
}

void CSkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap image = CurrentImage();
    if (!image.isNull()) painter.drawPixmap(0, 0, image);
    PaintOver(painter);
}

void CSkinButton::PaintOver(QPainter& painter) { text_.Paint(painter, rect(), hover_ || selected_); }

void CSkinButton::SetHover(bool hover) {
    if (hover_ == hover) return;
    hover_ = hover;
    update();
}

void CSkinButton::enterEvent(QEnterEvent* event) {
    SetHover(true);
    QAbstractButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event) {
    SetHover(false);
    QAbstractButton::leaveEvent(event);
}

void CSkinButton::changeEvent(QEvent* event) {
    // A button disabled under the pointer gets no leave: it must not come back hovered.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) hover_ = false;
    QAbstractButton::changeEvent(event);
}

CImageButton::CImageButton(const QString& base, int id, QWidget* parent) : CSkinButton(id, parent) { SetImages(base); }

void CImageButton::SetImages(const QString& base) {
    normal_ = Load(base);
    hover_image_ = Load(base + "_o");
    selected_image_ = Load(base + "_s");
    disabled_ = Load(base + "_d");
    if (!normal_.isNull()) setFixedSize(normal_.size());
    update();
}

QPixmap CImageButton::CurrentImage() const {
    if (!isEnabled()) {
        if (!disabled_.isNull()) return disabled_;
        return Selected() ? selected_image_ : normal_;
    }
    if (Selected()) return selected_image_;
    if (Hovered() && !hover_image_.isNull()) return hover_image_;
    return normal_;
}

CDblImgButton::CDblImgButton(const QString& first, const QString& second, int id, QWidget* parent)
    : CSkinButton(id, parent),
      firstNormal_(Load(first)),
      firstHover_(Load(first + "_o")),
      secondNormal_(Load(second)),
      secondHover_(Load(second + "_o")) {
    if (!firstNormal_.isNull()) setFixedSize(firstNormal_.size());
}

QPixmap CDblImgButton::CurrentImage() const {
    const QPixmap& normal = Selected() ? secondNormal_ : firstNormal_;
    const QPixmap& hover = Selected() ? secondHover_ : firstHover_;
    return Hovered() && !hover.isNull() ? hover : normal;
}
