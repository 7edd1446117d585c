#include "ui/skin_check_box.h"

#include <QPainter>

#include "ui/skin.h"

CSkinCheckBox::CSkinCheckBox(Look look, const QString& text, int id, QWidget* parent)
    : QAbstractButton(parent), id_(id), base_(look == Look::kRadio ? "radio" : "check") {
    setText(text);
    setCheckable(true);
    setAutoExclusive(look == Look::kRadio);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFont(CSkin::Current().ControlFont(13));
    resize(sizeHint());
}

QSize CSkinCheckBox::sizeHint() const {
    const QPixmap box = CSkin::Current().Image(base_);
    const QSize boxSize = box.isNull() ? QSize(18, 18) : box.size();
    const QRect textRect = fontMetrics().boundingRect(QRect(0, 0, 1000, 1000), Qt::AlignLeft | Qt::AlignTop, text());
    return QSize(boxSize.width() + kGap + textRect.width() + 2, std::max(boxSize.height(), textRect.height()));
}

void CSkinCheckBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QString name = base_;
    if (!isEnabled())
        name += "_d";
    else if (isChecked())
        name += "_s";
    else if (hover_)
        name += "_o";
    QPixmap box = CSkin::Current().Image(name);
    if (box.isNull()) box = CSkin::Current().Image(base_);
    // The box sits beside the first line of the text.
    const int lineHeight = fontMetrics().height();
    const int boxHeight = box.isNull() ? 18 : box.height();
    const int boxTop = text().contains('\n') ? std::max(0, (lineHeight - boxHeight) / 2) : (height() - boxHeight) / 2;
    if (!box.isNull()) painter.drawPixmap(0, boxTop, box);
    const int textLeft = (box.isNull() ? 18 : box.width()) + kGap;
    painter.setPen(!isEnabled() ? CSkin::NormalText() : hover_ ? CSkin::BrightText() : CSkin::LabelText());
    const Qt::Alignment vertical = text().contains('\n') ? Qt::AlignTop : Qt::AlignVCenter;
    painter.drawText(rect().adjusted(textLeft, 0, 0, 0), Qt::AlignLeft | vertical, text());
}

void CSkinCheckBox::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CSkinCheckBox::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}
