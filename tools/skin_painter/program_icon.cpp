#include "tools/skin_painter/program_icon.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <cmath>
#include <vector>

#include "tools/skin_painter/skin_canvas.h"
#include "tools/skin_painter/skin_style.h"

namespace skin {

namespace {
constexpr int kSmallIcon = 24;
constexpr qreal kArcHalfSweep = 42;
}  // namespace

void drawBroadcastMark(QPainter& painter, const QRectF& box, const QColor& colour, bool simple) {
    const qreal side = box.width();
    const QPointF c = box.center();
    const qreal dot = (simple ? 0.15 : 0.105) * side;
    const qreal stroke = (simple ? 0.12 : 0.08) * side;
    const std::vector<qreal> radii =
        simple ? std::vector<qreal>{0.37 * side} : std::vector<qreal>{0.25 * side, 0.40 * side};

    painter.save();
    prepare(painter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(c, dot, dot);
    painter.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    for (qreal r : radii) {
        const QRectF ring(c.x() - r, c.y() - r, 2 * r, 2 * r);
        for (qreal facing : {0.0, 180.0}) {
            QPainterPath arc;
            arc.arcMoveTo(ring, facing - kArcHalfSweep);
            arc.arcTo(ring, facing - kArcHalfSweep, 2 * kArcHalfSweep);
            painter.drawPath(arc);
        }
    }
    painter.restore();
}

QImage programIcon(int side) {
    QImage image = blankImage(QSize(side, side));
    QPainter painter(&image);
    prepare(painter);
    // Desktop icons keep a small margin so that the tile sits like its neighbours in launchers.
    const qreal margin = std::round(side / 16.0);
    const QRectF tile(margin, margin, side - 2 * margin, side - 2 * margin);
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0, QColor(pal::kAccent));
    fill.setColorAt(1, QColor(pal::kAccentDeep));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(roundedPath(tile, 0.22 * tile.width()));
    const bool simple = side <= kSmallIcon;
    const qreal markSide = (simple ? 0.86 : 0.74) * tile.width();
    const QRectF mark(tile.center().x() - markSide / 2, tile.center().y() - markSide / 2, markSide, markSide);
    drawBroadcastMark(painter, mark, QColor(pal::kWhite), simple);
    return image;
}

}  // namespace skin
