#include "ui/image_button.h"

#include <QEvent>
#include <QPainter>

#include "ui/skin.h"

namespace {

QPixmap Load(const QString& name) { return CSkin::Current().Image(name); }

}  // namespace

CImageButton::CImageButton(const QString& base, int id, QWidget* parent) : QAbstractButton(parent), id_(id) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    SetImages(base);
}

void CImageButton::SetImages(const QString& base) {
    normal_ = Load(base);
    hover_image_ = Load(base + "_o");
    selected_image_ = Load(base + "_s");
    disabled_ = Load(base + "_d");
    if (!normal_.isNull()) setFixedSize(normal_.size());
    update();
}

QSize CImageButton::sizeHint() const { return normal_.isNull() ? QSize(24, 24) : normal_.size(); }

void CImageButton::SetSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

QPixmap CImageButton::CurrentImage() const {
    if (!isEnabled()) {
        if (!disabled_.isNull()) return disabled_;
        return selected_ ? selected_image_ : normal_;
    }
    if (selected_) return selected_image_;
    if (hover_ && !hover_image_.isNull()) return hover_image_;
    return normal_;
}

void CImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap image = CurrentImage();
    if (!image.isNull()) painter.drawPixmap(0, 0, image);
    PaintOver(painter);
}

void CImageButton::PaintOver(QPainter&) {}

void CImageButton::SetHover(bool hover) {
    if (hover_ == hover) return;
    hover_ = hover;
    update();
}

void CImageButton::enterEvent(QEnterEvent* event) {
    SetHover(true);
    QAbstractButton::enterEvent(event);
}

void CImageButton::leaveEvent(QEvent* event) {
    SetHover(false);
    QAbstractButton::leaveEvent(event);
}

void CImageButton::changeEvent(QEvent* event) {
    // A button disabled under the pointer gets no leave: it must not come back hovered.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) hover_ = false;
    QAbstractButton::changeEvent(event);
}

CDblImgButton::CDblImgButton(const QString& first, const QString& second, int id, QWidget* parent)
    : QAbstractButton(parent),
      id_(id),
      firstNormal_(Load(first)),
      firstHover_(Load(first + "_o")),
      secondNormal_(Load(second)),
      secondHover_(Load(second + "_o")) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    if (!firstNormal_.isNull()) setFixedSize(firstNormal_.size());
}

QSize CDblImgButton::sizeHint() const { return firstNormal_.isNull() ? QSize(24, 24) : firstNormal_.size(); }

void CDblImgButton::SetSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

QPixmap CDblImgButton::CurrentImage() const {
    const QPixmap& normal = selected_ ? secondNormal_ : firstNormal_;
    const QPixmap& hover = selected_ ? secondHover_ : firstHover_;
    return hover_ && !hover.isNull() ? hover : normal;
}

void CDblImgButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap image = CurrentImage();
    if (!image.isNull()) painter.drawPixmap(0, 0, image);
    PaintOver(painter);
}

void CDblImgButton::PaintOver(QPainter&) {}

void CDblImgButton::SetHover(bool hover) {
    if (hover_ == hover) return;
    hover_ = hover;
    update();
}

void CDblImgButton::enterEvent(QEnterEvent* event) {
    SetHover(true);
    QAbstractButton::enterEvent(event);
}

void CDblImgButton::leaveEvent(QEvent* event) {
    SetHover(false);
    QAbstractButton::leaveEvent(event);
}
