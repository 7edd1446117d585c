#include "ui/slider_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "platform/window_target.h"
#include "ui/image_button.h"
#include "ui/skin.h"

CSliderButton::CSliderButton(Orientation orientation, int minimum, int maximum, bool minimumAtBottom,
                             IWindowTarget* owner, QWidget* parent)
    : QWidget(parent),
      orientation_(orientation),
      minimum_(minimum),
      maximum_(maximum),
      minimumAtBottom_(minimumAtBottom),
      owner_(owner),
      thumb_(new CImageButton("slider_thumb", 0, this)),
      value_(minimum - 1) {
    thumb_->installEventFilter(this);
    thumb_->setCursor(Qt::OpenHandCursor);
}

int CSliderButton::LowLimit() const { return 0; }

int CSliderButton::HighLimit() const {
    return Horizontal() ? std::max(0, width() - thumb_->width()) : std::max(0, height() - thumb_->height());
}

int CSliderButton::ThumbPosition() const { return Horizontal() ? thumb_->x() : thumb_->y(); }

void CSliderButton::MoveThumbTo(int position) {
    const int clamped = std::clamp(position, LowLimit(), HighLimit());
    const int current = ThumbPosition();
    if (Horizontal())
        thumb_->move(clamped, (height() - thumb_->height()) / 2);
    else
        thumb_->move((width() - thumb_->width()) / 2, clamped);
    if (clamped != current || !placed_) PositionChanged(clamped);
}

void CSliderButton::PositionChanged(int position) {
    if (!placed_) {
        // The thumb's first placement carries no value of the user's.
        placed_ = true;
        value_ = minimum_ - 1;
    } else {
        const int low = LowLimit(), high = HighLimit();
        const int span = high - low;
        if (span <= 0) {
            value_ = minimum_;
        } else if (!Horizontal() && minimumAtBottom_) {
            value_ = (maximum_ - minimum_) * (high - position) / span + minimum_;
        } else {
            value_ = (maximum_ - minimum_) * (position - low) / span + minimum_;
        }
    }
    const int centre = position + (Horizontal() ? thumb_->width() : thumb_->height()) / 2;
    PostWindowMessage(owner_, WM_SLIDER_CHANGED, static_cast<uintptr_t>(centre), value_);
    update();
}

int CSliderButton::PositionFor(int value) const {
    const int low = LowLimit(), high = HighLimit();
    if (maximum_ == minimum_) return low;
    const int offset = (value - minimum_) * (high - low) / (maximum_ - minimum_);
    return !Horizontal() && minimumAtBottom_ ? high - offset : low + offset;
}

void CSliderButton::SetValue(int value) {
    if (value < minimum_ || value > maximum_) return;
    // The owner set the value: the thumb goes where it belongs, and nothing is posted back.
    placed_ = true;
    const int position = PositionFor(value);
    if (Horizontal())
        thumb_->move(position, (height() - thumb_->height()) / 2);
    else
        thumb_->move((width() - thumb_->width()) / 2, position);
    value_ = value;
    update();
}

void CSliderButton::resizeEvent(QResizeEvent*) {
    if (!placed_)
        MoveThumbTo(LowLimit());
    else if (value_ >= minimum_)
        SetValue(value_);
}

void CSliderButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool horizontal = Horizontal();
    const QPixmap track = CSkin::Current().Image(horizontal ? "slider_track" : "vslider_track");
    const QPixmap fill = CSkin::Current().Image(horizontal ? "slider_fill" : "vslider_fill");
    const int centre = ThumbPosition() + (horizontal ? thumb_->width() : thumb_->height()) / 2;
    if (horizontal) {
        const int thickness = track.isNull() ? 6 : track.height();
        const QRect all(0, (height() - thickness) / 2, width(), thickness);
        if (!track.isNull()) painter.drawPixmap(all, track);
        if (!fill.isNull()) painter.drawPixmap(QRect(all.left(), all.top(), centre, all.height()), fill);
    } else {
        const int thickness = track.isNull() ? 6 : track.width();
        const QRect all((width() - thickness) / 2, 0, thickness, height());
        if (!track.isNull()) painter.drawPixmap(all, track);
        const QRect filled = minimumAtBottom_ ? QRect(all.left(), centre, all.width(), height() - centre)
                                              : QRect(all.left(), 0, all.width(), centre);
        if (!fill.isNull()) painter.drawPixmap(filled, fill);
    }
}

void CSliderButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = event->position().toPoint();
    const int half = (Horizontal() ? thumb_->width() : thumb_->height()) / 2;
    MoveThumbTo((Horizontal() ? p.x() : p.y()) - half);
}

bool CSliderButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched != thumb_) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) return false;
            dragging_ = true;
            const QPoint p = mapFromGlobal(mouse->globalPosition().toPoint());
            dragOffset_ = (Horizontal() ? p.x() : p.y()) - ThumbPosition();
            return true;
        }
        case QEvent::MouseMove: {
            if (!dragging_) return false;
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint p = mapFromGlobal(mouse->globalPosition().toPoint());
            MoveThumbTo((Horizontal() ? p.x() : p.y()) - dragOffset_);
            return true;
        }
        case QEvent::MouseButtonRelease:
            dragging_ = false;
            return true;
        default:
            return false;
    }
}
