#include "tools/skin_painter/skin_canvas.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <algorithm>
#include <cmath>

namespace skin {

namespace {

bool isChinese(const QFont& font) { return font.family() == chineseFont(12).family(); }

// Top and bottom of the part of a line that the eye centres, relative to the baseline.
std::pair<qreal, qreal> opticalBody(const QFont& font) {
    const QFontMetricsF metrics(font);
    if (isChinese(font)) {
        const QRectF square = metrics.tightBoundingRect(QString::fromUtf8("国"));
        return {square.top(), square.bottom()};
    }
    return {-metrics.capHeight(), 0.0};
}

// Three box blurs in each direction come close to a Gaussian at a fraction of its cost.
void boxBlur(std::vector<float>& alpha, int width, int height, int radius) {
    if (radius <= 0) return;
    std::vector<float> line(static_cast<size_t>(std::max(width, height)));
    auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            for (int k = 0; k < length; ++k) line[k] = at(i, k);
            float sum = 0;
            for (int k = -radius; k <= radius; ++k) sum += line[std::clamp(k, 0, length - 1)];
            for (int k = 0; k < length; ++k) {
                at(i, k) = sum / static_cast<float>(2 * radius + 1);
                sum += line[std::min(k + radius + 1, length - 1)] - line[std::max(k - radius, 0)];
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(height, width, [&](int y, int x) -> float& { return alpha[static_cast<size_t>(y * width + x)]; });
        pass(width, height, [&](int x, int y) -> float& { return alpha[static_cast<size_t>(y * width + x)]; });
    }
}

}  // namespace

QImage blankImage(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter& painter) {
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
}

QPainterPath roundedPath(const QRectF& rect, qreal radius, int corners) {
    const qreal d = 2 * radius;
    QPainterPath path;
    const QRectF& r = rect;
    path.moveTo(r.left() + ((corners & kTopLeft) ? radius : 0), r.top());
    if (corners & kTopRight) {
        path.lineTo(r.right() - radius, r.top());
        path.arcTo(QRectF(r.right() - d, r.top(), d, d), 90, -90);
    } else {
        path.lineTo(r.right(), r.top());
    }
    if (corners & kBottomRight) {
        path.lineTo(r.right(), r.bottom() - radius);
        path.arcTo(QRectF(r.right() - d, r.bottom() - d, d, d), 0, -90);
    } else {
        path.lineTo(r.right(), r.bottom());
    }
    if (corners & kBottomLeft) {
        path.lineTo(r.left() + radius, r.bottom());
        path.arcTo(QRectF(r.left(), r.bottom() - d, d, d), 270, -90);
    } else {
        path.lineTo(r.left(), r.bottom());
    }
    if (corners & kTopLeft) {
        path.lineTo(r.left(), r.top() + radius);
        path.arcTo(QRectF(r.left(), r.top(), d, d), 180, -90);
    } else {
        path.lineTo(r.left(), r.top());
    }
    path.closeSubpath();
    return path;
}

void framedPanel(QPainter& painter, const QRectF& rect, const QBrush& fill, const QColor& line, qreal radius,
                 int corners) {
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(roundedPath(rect, radius, corners));
    if (line.alpha() > 0) {
        painter.setPen(QPen(line, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(roundedPath(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, corners));
    }
    painter.restore();
}

void framedPill(QPainter& painter, const QRectF& rect, const QBrush& fill, const QColor& line) {
    framedPanel(painter, rect, fill, line, std::min(rect.width(), rect.height()) / 2);
}

qreal inkWidth(const std::vector<WordRun>& runs) {
    if (runs.empty()) return 0;
    qreal pen = 0;
    qreal left = 0;
    qreal right = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const QFontMetricsF metrics(runs[i].font);
        const QRectF ink = metrics.tightBoundingRect(runs[i].text);
        pen += runs[i].gapBefore;
        if (i == 0) left = pen + ink.left();
        right = pen + ink.right();
        pen += metrics.horizontalAdvance(runs[i].text);
    }
    return right - left;
}

void drawCentredRuns(QPainter& painter, const QPointF& centre, const std::vector<WordRun>& runs) {
    if (runs.empty()) return;
    const QRectF firstInk = QFontMetricsF(runs.front().font).tightBoundingRect(runs.front().text);
    const auto [top, bottom] = opticalBody(runs.front().font);
    qreal pen = std::round(centre.x() - inkWidth(runs) / 2 - firstInk.left());
    const qreal baseline = std::round(centre.y() - (top + bottom) / 2);
    painter.save();
    for (const WordRun& run : runs) {
        pen += run.gapBefore;
        painter.setFont(run.font);
        painter.setPen(run.colour);
        painter.drawText(QPointF(pen, baseline), run.text);
        pen = std::round(pen + QFontMetricsF(run.font).horizontalAdvance(run.text));
    }
    painter.restore();
}

void drawCentredWords(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
                      const QColor& colour) {
    drawCentredRuns(painter, box.center(), {{text, font, colour}});
}

void drawWordsFrom(QPainter& painter, qreal left, qreal centreY, const QString& text, const QFont& font,
                   const QColor& colour) {
    const qreal width = inkWidth({{text, font, colour}});
    drawCentredRuns(painter, QPointF(left + width / 2, centreY), {{text, font, colour}});
}

void softShadow(QPainter& painter, const QPainterPath& shape, qreal blur, const QPointF& offset, qreal alpha) {
    const int width = painter.device()->width();
    const int height = painter.device()->height();
    QImage mask = blankImage(QSize(width, height));
    {
        QPainter maskPainter(&mask);
        prepare(maskPainter);
        maskPainter.setPen(Qt::NoPen);
        maskPainter.setBrush(Qt::black);
        maskPainter.drawPath(shape.translated(offset));
    }
    std::vector<float> coverage(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        for (int x = 0; x < width; ++x) coverage[static_cast<size_t>(y * width + x)] = qAlpha(row[x]) / 255.0f;
    }
    boxBlur(coverage, width, height, qRound(blur / 2));
    QImage shadow = blankImage(QSize(width, height));
    for (int y = 0; y < height; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int a = qRound(coverage[static_cast<size_t>(y * width + x)] * alpha * 255);
            row[x] = qRgba(0, 0, 0, std::clamp(a, 0, 255));
        }
    }
    painter.drawImage(0, 0, shadow);
}

}  // namespace skin
