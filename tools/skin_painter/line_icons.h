// The one line-icon family of the skins: 2 px strokes with round caps and joins, designed on a 24-unit
// grid and drawn at the size of the box they are given. Called by the skin tables.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

namespace skin {

enum class Glyph {
    Gear,
    Minus,
    Cross,
    Globe,
    Monitor,
    Picture,
    Letter,
    Camera,
    Mic,
    Speaker,
    Ring,
    Eye,
    ChevronDown,
    ChevronUp,
    ChevronLeft,
    ChevronRight,
    Film,
    Wave,
    Sliders,
    Play,
    Tick,
    LogOut,
    Person,
    Lock,
};

// `box` is square with an even side, so that the grid's centre falls on a pixel corner and straight
// 2 px lines cover whole pixels. 16-pixel boxes use simpler designs where a glyph has one.
void drawIcon(QPainter& painter, Glyph glyph, const QRect& box, const QColor& colour, qreal stroke = 2.0);
// The icon crossed by a diagonal slash (muted, hidden); the icon's lines stop short of the slash so that
// it reads as one stroke on top.
void drawSlashedIcon(QPainter& painter, Glyph glyph, const QRect& box, const QColor& colour, const QColor& slash);

}  // namespace skin
