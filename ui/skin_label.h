// CLabel: a static text of a skinned window: transparent background, the skinned controls' face, a
// colour of its own. Main thread.
#pragma once

#include <QColor>
#include <QLabel>

class CLabel : public QLabel {
public:
    CLabel(const QString& text, QWidget* parent, int pixelSize = 13, const QColor& colour = QColor(0xC9, 0xCE, 0xD8),
           bool bold = false);
    void SetColour(const QColor& colour);
};
