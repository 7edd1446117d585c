#include "tools/skin_painter/line_icons.h"

#include <QPainterPath>
#include <cmath>
#include <numbers>
#include <optional>

#include "tools/skin_painter/skin_canvas.h"

namespace skin {

namespace {

// Maps a design grid of `units` onto a box. Offsets from the centre are rounded half away from zero, so
// that a shape and its mirror image land on the same pixels.
class Grid {
public:
    Grid(const QRect& box, qreal stroke, qreal units = 24)
        : cx_(box.x() + box.width() / 2),
          cy_(box.y() + box.height() / 2),
          middle_(units / 2),
          scale_(box.width() / units),
          half_(std::fmod(stroke, 2.0) == 1.0 ? 0.5 : 0.0) {}

    QPointF p(qreal u, qreal v) const { return {cx_ + snap(u - middle_) + half_, cy_ + snap(v - middle_) + half_}; }
    QRectF rect(qreal u0, qreal v0, qreal u1, qreal v1) const { return QRectF(p(u0, v0), p(u1, v1)); }
    // Lengths that need not land on pixels (radii of curves).
    qreal len(qreal u) const { return u * scale_; }
    QRectF circle(qreal u, qreal v, qreal r) const {
        const QPointF c = p(u, v);
        const qreal radius = std::max(1.0, std::round(len(r) * 2) / 2);
        return QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    }

private:
    qreal snap(qreal d) const { return std::round(d * scale_); }
    qreal cx_;
    qreal cy_;
    qreal middle_;
    qreal scale_;
    qreal half_;
};

QPainterPath polyline(const Grid& g, std::initializer_list<QPointF> points, bool closed = false) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& point : points) {
        if (first) {
            path.moveTo(g.p(point.x(), point.y()));
        } else {
            path.lineTo(g.p(point.x(), point.y()));
        }
        first = false;
    }
    if (closed) path.closeSubpath();
    return path;
}

// An open arc of a circle around (u, v), from `start` degrees over `sweep` (counter-clockwise).
QPainterPath arc(const Grid& g, qreal u, qreal v, qreal r, qreal start, qreal sweep) {
    const QPointF c = g.p(u, v);
    const QRectF box(c.x() - g.len(r), c.y() - g.len(r), 2 * g.len(r), 2 * g.len(r));
    QPainterPath path;
    path.arcMoveTo(box, start);
    path.arcTo(box, start, sweep);
    return path;
}

QPainterPath gear(const Grid& g) {
    constexpr int kTeeth = 6;
    constexpr qreal kOuter = 9.5;
    constexpr qreal kInner = 7.0;
    const QPointF c = g.p(12, 12);
    auto at = [&](qreal radius, qreal degrees) {
        const qreal a = degrees * std::numbers::pi / 180.0;
        return QPointF(c.x() + g.len(radius) * std::cos(a), c.y() + g.len(radius) * std::sin(a));
    };
    QPainterPath path;
    for (int i = 0; i < kTeeth; ++i) {
        const qreal a = i * 360.0 / kTeeth - 90;
        if (i == 0) {
            path.moveTo(at(kInner, a - 19));
        } else {
            path.lineTo(at(kInner, a - 19));
        }
        path.lineTo(at(kOuter, a - 10));
        path.lineTo(at(kOuter, a + 10));
        path.lineTo(at(kInner, a + 19));
    }
    path.closeSubpath();
    path.addEllipse(g.circle(12, 12, 3));
    return path;
}

QPainterPath eye(const Grid& g) {
    QPainterPath path;
    path.moveTo(g.p(2, 12));
    path.cubicTo(g.p(5, 7), g.p(8.5, 5), g.p(12, 5));
    path.cubicTo(g.p(15.5, 5), g.p(19, 7), g.p(22, 12));
    path.cubicTo(g.p(19, 17), g.p(15.5, 19), g.p(12, 19));
    path.cubicTo(g.p(8.5, 19), g.p(5, 17), g.p(2, 12));
    path.closeSubpath();
    path.addEllipse(g.circle(12, 12, 3));
    return path;
}

QPainterPath mic(const Grid& g) {
    QPainterPath path;
    path.addPath(roundedPath(g.rect(9, 3, 15, 14), g.len(3)));
    path.addPath(arc(g, 12, 11, 6, 180, 180));
    path.addPath(polyline(g, {{12, 17}, {12, 21}}));
    path.addPath(polyline(g, {{9, 21}, {15, 21}}));
    return path;
}

QPainterPath speaker(const Grid& g) {
    QPainterPath path = polyline(g, {{3, 9.5}, {7, 9.5}, {12, 5}, {12, 19}, {7, 14.5}, {3, 14.5}}, true);
    path.addPath(arc(g, 12, 12, 4.5, -45, 90));
    path.addPath(arc(g, 12, 12, 8.5, -45, 90));
    return path;
}

QPainterPath sliders(const Grid& g) {
    QPainterPath path;
    const qreal knobs[3][2] = {{15, 6}, {8, 12}, {13, 18}};
    for (const auto& knob : knobs) {
        const qreal x = knob[0];
        const qreal y = knob[1];
        path.addPath(polyline(g, {{3, y}, {x - 2.5, y}}));
        path.addPath(polyline(g, {{x + 2.5, y}, {21, y}}));
        path.addEllipse(g.circle(x, y, 2.5));
    }
    return path;
}

// Lines are stroked; solid parts are filled and stroked, so they carry the same rounded edge.
struct Outline {
    QPainterPath lines;
    QPainterPath solid;
};

constexpr int kSmallBox = 16;
constexpr qreal kSmallUnits = 16;

// Designs for 16-pixel boxes on a 16-unit grid: the 24-unit shapes clog up there, so these keep fewer
// parts and fill what would close up anyway (a lens, a play mark).
std::optional<Outline> smallOutline(Glyph glyph, const Grid& g) {
    switch (glyph) {
        case Glyph::Monitor: {
            Outline o{roundedPath(g.rect(2, 3, 14, 11), 1.5), {}};
            o.lines.addPath(polyline(g, {{8, 11}, {8, 14}}));
            o.lines.addPath(polyline(g, {{5, 14}, {11, 14}}));
            return o;
        }
        case Glyph::Camera:
            return Outline{roundedPath(g.rect(2, 4, 10, 12), 1.5), polyline(g, {{12, 8}, {14, 6}, {14, 10}}, true)};
        case Glyph::Play: {
            Outline o;
            o.lines.addEllipse(g.circle(8, 8, 6));
            o.solid = polyline(g, {{7, 6}, {10, 8}, {7, 10}}, true);
            return o;
        }
        case Glyph::Letter: {
            Outline o{polyline(g, {{3, 3}, {13, 3}}), {}};
            o.lines.addPath(polyline(g, {{8, 3}, {8, 13}}));
            o.lines.addPath(polyline(g, {{6, 13}, {10, 13}}));
            return o;
        }
        case Glyph::Picture: {
            Outline o{roundedPath(g.rect(2, 3, 14, 13), 1.5), {}};
            o.lines.addPath(polyline(g, {{3, 12}, {7, 8}, {11, 12}}));
            o.solid.addEllipse(QPointF(g.p(11, 7)), 0.5, 0.5);
            return o;
        }
        case Glyph::Eye: {
            Outline o;
            o.lines.moveTo(g.p(1, 8));
            o.lines.cubicTo(g.p(3, 4), g.p(5.5, 3), g.p(8, 3));
            o.lines.cubicTo(g.p(10.5, 3), g.p(13, 4), g.p(15, 8));
            o.lines.cubicTo(g.p(13, 12), g.p(10.5, 13), g.p(8, 13));
            o.lines.cubicTo(g.p(5.5, 13), g.p(3, 12), g.p(1, 8));
            o.lines.closeSubpath();
            o.solid.addEllipse(QPointF(g.p(8, 8)), 1, 1);
            return o;
        }
        case Glyph::LogOut: {
            Outline o{polyline(g, {{7, 2}, {3, 2}, {3, 14}, {7, 14}}), {}};
            o.lines.addPath(polyline(g, {{7, 8}, {14, 8}}));
            o.lines.addPath(polyline(g, {{11, 5}, {14, 8}, {11, 11}}));
            return o;
        }
        case Glyph::Person: {
            Outline o{arc(g, 8, 14.5, 5, 0, 180), {}};
            o.lines.addEllipse(g.circle(8, 5, 2.5));
            return o;
        }
        case Glyph::Lock: {
            Outline o{roundedPath(g.rect(3, 7, 13, 14), 1.5), {}};
            o.lines.addPath(polyline(g, {{5, 7}, {5, 5.5}}));
            o.lines.addPath(polyline(g, {{11, 7}, {11, 5.5}}));
            o.lines.addPath(arc(g, 8, 5.5, 3, 0, 180));
            o.solid.addEllipse(QPointF(g.p(8, 10.5)), 0.75, 0.75);
            return o;
        }
        default:
            return std::nullopt;
    }
}

QPainterPath outline(Glyph glyph, const Grid& g) {
    switch (glyph) {
        case Glyph::Gear:
            return gear(g);
        case Glyph::Minus:
            return polyline(g, {{6, 12}, {18, 12}});
        case Glyph::Cross: {
            QPainterPath path = polyline(g, {{6, 6}, {18, 18}});
            path.addPath(polyline(g, {{18, 6}, {6, 18}}));
            return path;
        }
        case Glyph::Globe: {
            QPainterPath path;
            path.addEllipse(g.circle(12, 12, 9));
            const QPointF c = g.p(12, 12);
            path.addEllipse(c, g.len(4), g.len(9));
            path.addPath(polyline(g, {{3, 12}, {21, 12}}));
            return path;
        }
        case Glyph::Monitor: {
            QPainterPath path = roundedPath(g.rect(3, 4, 21, 16), g.len(2));
            path.addPath(polyline(g, {{12, 16}, {12, 20}}));
            path.addPath(polyline(g, {{8, 20}, {16, 20}}));
            return path;
        }
        case Glyph::Picture: {
            QPainterPath path = roundedPath(g.rect(3, 4, 21, 20), g.len(2));
            path.addPath(polyline(g, {{3, 18}, {9, 12}, {13, 16}, {16, 13}, {21, 18}}));
            return path;
        }
        case Glyph::Letter: {
            QPainterPath path = polyline(g, {{5, 7}, {5, 4}, {19, 4}, {19, 7}});
            path.addPath(polyline(g, {{12, 4}, {12, 20}}));
            path.addPath(polyline(g, {{9, 20}, {15, 20}}));
            return path;
        }
        case Glyph::Camera: {
            QPainterPath path = roundedPath(g.rect(2, 6, 15, 18), g.len(2));
            path.addPath(polyline(g, {{15, 10.5}, {22, 7}, {22, 17}, {15, 13.5}}, true));
            return path;
        }
        case Glyph::Mic:
            return mic(g);
        case Glyph::Speaker:
            return speaker(g);
        case Glyph::Ring: {
            QPainterPath path;
            path.addEllipse(g.circle(12, 12, 8));
            return path;
        }
        case Glyph::Eye:
            return eye(g);
        case Glyph::ChevronDown:
            return polyline(g, {{6, 9}, {12, 15}, {18, 9}});
        case Glyph::ChevronUp:
            return polyline(g, {{6, 15}, {12, 9}, {18, 15}});
        case Glyph::ChevronLeft:
            return polyline(g, {{15, 6}, {9, 12}, {15, 18}});
        case Glyph::ChevronRight:
            return polyline(g, {{9, 6}, {15, 12}, {9, 18}});
        case Glyph::Film: {
            QPainterPath path = roundedPath(g.rect(3, 4, 21, 20), g.len(2));
            path.addPath(polyline(g, {{8, 4}, {8, 20}}));
            path.addPath(polyline(g, {{16, 4}, {16, 20}}));
            for (qreal y : {9.0, 15.0}) {
                path.addPath(polyline(g, {{3, y}, {8, y}}));
                path.addPath(polyline(g, {{16, y}, {21, y}}));
            }
            return path;
        }
        case Glyph::Wave: {
            QPainterPath path;
            const qreal halves[5] = {2, 6, 9, 5, 2};
            for (int i = 0; i < 5; ++i)
                path.addPath(polyline(g, {{4.0 + 4 * i, 12 - halves[i]}, {4.0 + 4 * i, 12 + halves[i]}}));
            return path;
        }
        case Glyph::Sliders:
            return sliders(g);
        case Glyph::Play: {
            QPainterPath path;
            path.addEllipse(g.circle(12, 12, 9));
            path.addPath(polyline(g, {{10, 8.5}, {15.5, 12}, {10, 15.5}}, true));
            return path;
        }
        case Glyph::Tick:
            return polyline(g, {{5, 12.5}, {10, 17}, {19, 7}});
        case Glyph::LogOut: {
            QPainterPath path = polyline(g, {{10, 4}, {5, 4}, {5, 20}, {10, 20}});
            path.addPath(polyline(g, {{10, 12}, {20, 12}}));
            path.addPath(polyline(g, {{16, 8}, {20, 12}, {16, 16}}));
            return path;
        }
        case Glyph::Person: {
            QPainterPath path = arc(g, 12, 21, 7.5, 0, 180);
            path.addEllipse(g.circle(12, 8, 4));
            return path;
        }
        case Glyph::Lock: {
            QPainterPath path = roundedPath(g.rect(5, 11, 19, 21), g.len(2));
            path.addPath(polyline(g, {{8, 11}, {8, 8}}));
            path.addPath(polyline(g, {{16, 11}, {16, 8}}));
            path.addPath(arc(g, 12, 8, 4, 0, 180));
            path.addPath(polyline(g, {{12, 15}, {12, 17}}));
            return path;
        }
    }
    return {};
}

QPen iconPen(const QColor& colour, qreal stroke) {
    return QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

}  // namespace

void drawIcon(QPainter& painter, Glyph glyph, const QRect& box, const QColor& colour, qreal stroke) {
    std::optional<Outline> shape;
    if (box.width() == kSmallBox) shape = smallOutline(glyph, Grid(box, stroke, kSmallUnits));
    if (!shape) shape = Outline{outline(glyph, Grid(box, stroke)), {}};
    painter.save();
    prepare(painter);
    painter.setPen(iconPen(colour, stroke));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape->lines);
    painter.setBrush(colour);
    painter.drawPath(shape->solid);
    painter.restore();
}

void drawSlashedIcon(QPainter& painter, Glyph glyph, const QRect& box, const QColor& colour, const QColor& slash) {
    constexpr qreal kStroke = 2.0;
    constexpr qreal kGap = 1.5;
    QImage layer = blankImage(box.size());
    const Grid grid(QRect(QPoint(0, 0), box.size()), kStroke);
    const QLineF line(grid.p(3, 3), grid.p(21, 21));
    {
        QPainter layerPainter(&layer);
        drawIcon(layerPainter, glyph, QRect(QPoint(0, 0), box.size()), colour, kStroke);
        layerPainter.setCompositionMode(QPainter::CompositionMode_Clear);
        layerPainter.setPen(iconPen(Qt::black, kStroke + 2 * kGap));
        layerPainter.drawLine(line);
    }
    painter.save();
    prepare(painter);
    painter.drawImage(box.topLeft(), layer);
    painter.setPen(iconPen(slash, kStroke));
    painter.drawLine(line.translated(box.topLeft()));
    painter.restore();
}

}  // namespace skin
