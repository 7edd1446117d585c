// Composite pieces that several windows' images are built from (icon buttons, fields, check boxes,
// caption buttons, dialog backgrounds), so that the same control looks the same wherever it appears.
#pragma once

#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>
#include <vector>

#include "tools/skin_painter/line_icons.h"
#include "tools/skin_painter/skin_canvas.h"
#include "tools/skin_painter/skin_style.h"

namespace skin {

// What sits behind a control in a state: nothing, the raised hover fill or the accent tint.
void stateFill(QPainter& painter, const QRectF& rect, State state);
// A square icon button filling the image, the icon centred at `iconSide` pixels.
void iconButton(QPainter& painter, QSize size, Glyph glyph, State state, int iconSide);
// A close button; on hover it turns live red with a white cross, as closing is the one destructive title action.
void closeButton(QPainter& painter, QSize size, int iconSide, bool hover);

// The frame of a field that shows a choice (activity chooser, combo box), with its chevron in the
// right `chevronZone` pixels.
void choiceField(QPainter& painter, QSize size, int chevronZone, State state);
// A text-entry frame: darker than the panel it sits on, so it reads as a well.
void entryFrame(QPainter& painter, const QRectF& rect);

void checkBox(QPainter& painter, const QRectF& rect, State state);
void radioButton(QPainter& painter, const QRectF& rect, State state);

// A filled button with centred words (primary, live): `pill` rounds its ends fully.
void solidButton(QPainter& painter, const QRectF& rect, const QColor& fill, const std::vector<WordRun>& words,
                 bool pill = false);
// The secondary button body: raised fill with a hairline.
void secondaryBody(QPainter& painter, const QRectF& rect, State state);
// The font of words on buttons.
QFont captionFont(Lang lang, int latinPixelSize);

// A dialog's background: the panel with its hairline and a title band; `title` is set at x=16. A
// `leftColumn` wide strip below the band holds tabs.
void dialogBackground(QPainter& painter, QSize size, int band, QRgb bandColour, const QString& title, Lang lang,
                      int leftColumn = 0);
// An opaque pop-up panel (menus, lists).
void popupPanel(QPainter& painter, QSize size);
// An entry of a pop-up list: nothing, or the raised fill under the pointer.
void popupEntry(QPainter& painter, QSize size, State state);

}  // namespace skin
