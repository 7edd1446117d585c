#include "tools/skin_painter/skin_parts.h"

namespace skin {

namespace {
QRectF whole(QSize size) { return QRectF(0, 0, size.width(), size.height()); }

QRect centredSquare(QSize size, int side) {
    return QRect((size.width() - side) / 2, (size.height() - side) / 2, side, side);
}

// Check boxes and radio buttons share their frames; only the chosen mark differs.
void choiceFrame(QPainter& painter, const QRectF& rect, State state, qreal radius) {
    switch (state) {
        case State::Normal:
            framedPanel(painter, rect, QColor(pal::kWindow), QColor(pal::kHairlineHover), radius);
            break;
        case State::Hover:
            framedPanel(painter, rect, QColor(pal::kWindow), QColor(pal::kAccent), radius);
            break;
        case State::Selected:
            framedPanel(painter, rect, QColor(pal::kAccent), Qt::transparent, radius);
            break;
        case State::Disabled:
            framedPanel(painter, rect, QColor(pal::kPanel), QColor(pal::kHairline), radius);
            break;
    }
}
}  // namespace

void stateFill(QPainter& painter, const QRectF& rect, State state) {
    if (state == State::Hover) framedPanel(painter, rect, QColor(pal::kHoverFill), Qt::transparent);
    if (state == State::Selected) framedPanel(painter, rect, withAlpha(pal::kAccent, kTintAlpha), Qt::transparent);
}

void iconButton(QPainter& painter, QSize size, Glyph glyph, State state, int iconSide) {
    stateFill(painter, whole(size), state);
    drawIcon(painter, glyph, centredSquare(size, iconSide), iconColour(state));
}

void closeButton(QPainter& painter, QSize size, int iconSide, bool hover) {
    if (hover) framedPanel(painter, whole(size), QColor(pal::kLive), Qt::transparent);
    drawIcon(painter, Glyph::Cross, centredSquare(size, iconSide), hover ? QColor(pal::kWhite) : QColor(pal::kIcon));
}

void choiceField(QPainter& painter, QSize size, int chevronZone, State state) {
    const bool disabled = state == State::Disabled;
    const QColor line = disabled ? mix(pal::kHairline, pal::kPanel, 0.5)
                                 : QColor(state == State::Hover ? pal::kHairlineHover : pal::kHairline);
    framedPanel(painter, whole(size), QColor(disabled ? pal::kPanel : pal::kField), line);
    const int side = 16;
    const QRect chevron(size.width() - chevronZone + (chevronZone - side) / 2, (size.height() - side) / 2, side, side);
    drawIcon(painter, Glyph::ChevronDown, chevron, iconColour(state == State::Selected ? State::Normal : state));
}

void entryFrame(QPainter& painter, const QRectF& rect) {
    framedPanel(painter, rect, QColor(pal::kWindow), QColor(pal::kHairline));
}

void checkBox(QPainter& painter, const QRectF& rect, State state) {
    // Boxes this small keep a smaller radius: at 6 px they would read as radio buttons.
    constexpr qreal kBoxRadius = 4;
    choiceFrame(painter, rect, state, kBoxRadius);
    if (state != State::Selected) return;
    const int side = static_cast<int>(rect.width()) - 2;
    drawIcon(painter, Glyph::Tick, QRect(static_cast<int>(rect.x()) + 1, static_cast<int>(rect.y()) + 1, side, side),
             QColor(pal::kWhite));
}

void radioButton(QPainter& painter, const QRectF& rect, State state) {
    choiceFrame(painter, rect, state, rect.width() / 2);
    if (state != State::Selected) return;
    const qreal dot = rect.width() * 0.19;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(pal::kWhite));
    painter.drawEllipse(rect.center(), dot, dot);
}

void solidButton(QPainter& painter, const QRectF& rect, const QColor& fill, const std::vector<WordRun>& words,
                 bool pill) {
    if (pill) {
        framedPill(painter, rect, fill, Qt::transparent);
    } else {
        framedPanel(painter, rect, fill, Qt::transparent);
    }
    drawCentredRuns(painter, rect.center(), words);
}

void secondaryBody(QPainter& painter, const QRectF& rect, State state) {
    switch (state) {
        case State::Hover:
            framedPanel(painter, rect, QColor(pal::kHoverFill), QColor(pal::kHairlineHover));
            break;
        case State::Disabled:
            framedPanel(painter, rect, QColor(pal::kPanel), mix(pal::kHairline, pal::kPanel, 0.5));
            break;
        default:
            framedPanel(painter, rect, QColor(pal::kRaised), QColor(pal::kHairline));
            break;
    }
}

QFont captionFont(Lang lang, int latinPixelSize) { return wordsFont(lang, latinPixelSize, true); }

void dialogBackground(QPainter& painter, QSize size, int band, QRgb bandColour, const QString& title, Lang lang,
                      int leftColumn) {
    const QRectF rect = whole(size);
    framedPanel(painter, rect, QColor(pal::kPanel), Qt::transparent);
    painter.save();
    painter.setClipPath(roundedPath(rect));
    painter.fillRect(QRectF(0, 0, size.width(), band), QColor(bandColour));
    painter.fillRect(QRectF(0, band - 1, size.width(), 1), QColor(pal::kHairline));
    if (leftColumn > 0) {
        painter.fillRect(QRectF(0, band, leftColumn, size.height() - band), QColor(pal::kSunken));
        painter.fillRect(QRectF(leftColumn - 1, band, 1, size.height() - band), QColor(pal::kHairline));
    }
    painter.restore();
    if (!title.isEmpty()) drawWordsFrom(painter, 16, band / 2.0, title, captionFont(lang, 14), QColor(pal::kText));
    framedPanel(painter, rect, Qt::NoBrush, QColor(pal::kHairline));
}

void popupPanel(QPainter& painter, QSize size) {
    framedPanel(painter, whole(size), QColor(pal::kField), QColor(pal::kHairline));
}

void popupEntry(QPainter& painter, QSize size, State state) {
    if (state == State::Hover) framedPanel(painter, whole(size), QColor(pal::kHoverFill), Qt::transparent);
}

}  // namespace skin
