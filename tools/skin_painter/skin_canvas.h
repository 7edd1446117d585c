// Drawing steps that many skin images share: transparent canvases, rounded panels with hairlines that
// follow their curve, optically centred words and soft shadows. Called by the skin tables.
#pragma once

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <vector>

#include "tools/skin_painter/skin_style.h"

namespace skin {

QImage blankImage(QSize size);
// Antialiased painting, as every image wants it.
void prepare(QPainter& painter);

enum Corner { kTopLeft = 1, kTopRight = 2, kBottomLeft = 4, kBottomRight = 8, kAllCorners = 15 };
QPainterPath roundedPath(const QRectF& rect, qreal radius = kRadius, int corners = kAllCorners);

// Fills a rounded rectangle and draws its 1 px line just inside the edge, so that the line's outer edge
// follows the fill's curve and the corners stay one shape.
void framedPanel(QPainter& painter, const QRectF& rect, const QBrush& fill, const QColor& line, qreal radius = kRadius,
                 int corners = kAllCorners);
void framedPill(QPainter& painter, const QRectF& rect, const QBrush& fill, const QColor& line);

// A stretch of words in one font and colour; a word mark is two of them.
struct WordRun {
    QString text;
    QFont font;
    QColor colour;
    qreal gapBefore = 0;  // Chinese after Latin wants a hair of space that neither font's glyphs give
};

// Width of the ink of runs set one after the other.
qreal inkWidth(const std::vector<WordRun>& runs);
// Sets the runs so that their ink is centred on `centre`: horizontally on the ink, vertically on the
// capitals of Latin words (descenders hang below) or on the square of Chinese ones.
void drawCentredRuns(QPainter& painter, const QPointF& centre, const std::vector<WordRun>& runs);
void drawCentredWords(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
                      const QColor& colour);
// Sets words from a left edge, vertically centred like drawCentredRuns.
void drawWordsFrom(QPainter& painter, qreal left, qreal centreY, const QString& text, const QFont& font,
                   const QColor& colour);

// Lays a blurred copy of `shape` under what is painted next: a soft shadow inside the image's edges.
void softShadow(QPainter& painter, const QPainterPath& shape, qreal blur, const QPointF& offset, qreal alpha);

}  // namespace skin
