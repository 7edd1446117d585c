// One picture of every skin image, on a checkered background with its name, for reviewing the look
// (transparent corners, clipping, centring) at a glance. Written by skin_painter --sheet.
#pragma once

#include <QImage>
#include <QString>
#include <vector>

namespace skin {

struct SheetItem {
    QString label;
    QImage image;
};

struct SheetSection {
    QString title;
    std::vector<SheetItem> items;
};

// Small images are shown a second time at three times their size, so that pixels can be judged.
QImage contactSheet(const std::vector<SheetSection>& sections);

}  // namespace skin
