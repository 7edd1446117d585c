// The program's mark: a dot with concentric arcs on each side, on a rounded accent tile for the icon.
// Used by the skin tables (logo, logon card) and for the desktop icon set.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>

namespace skin {

// The mark centred in a square box. The simple mark has one arc per side: icons of 24 px and less use it
// so that the mark still reads there.
void drawBroadcastMark(QPainter& painter, const QRectF& box, const QColor& colour, bool simple = false);
// The icon at `side` pixels: a rounded gradient tile with the white mark.
QImage programIcon(int side);

}  // namespace skin
