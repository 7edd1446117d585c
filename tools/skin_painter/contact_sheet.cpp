#include "tools/skin_painter/contact_sheet.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "tools/skin_painter/skin_canvas.h"
#include "tools/skin_painter/skin_style.h"

namespace skin {

namespace {

constexpr int kSheetWidth = 2000;
constexpr int kMargin = 20;
constexpr int kGap = 18;
constexpr int kLabel = 18;
constexpr int kTitle = 34;
constexpr int kZoom = 3;
constexpr int kZoomBelow = 48;  // images no larger than this get a magnified copy
constexpr int kCheck = 8;

bool magnified(const QImage& image) { return std::max(image.width(), image.height()) <= kZoomBelow; }

QSize pictureSize(const QImage& image) {
    if (!magnified(image)) return image.size();
    return QSize(image.width() * (1 + kZoom) + 8, image.height() * kZoom);
}

QSize cellSize(const SheetItem& item, const QFontMetrics& metrics) {
    const QSize picture = pictureSize(item.image);
    return QSize(std::max(picture.width(), metrics.horizontalAdvance(item.label)), picture.height() + kLabel);
}

void checker(QPainter& p, const QRect& area) {
    p.fillRect(area, QColor(0x30343C));
    for (int y = area.top(); y <= area.bottom(); y += kCheck) {
        for (int x = area.left(); x <= area.right(); x += kCheck) {
            if (((x - area.left()) / kCheck + (y - area.top()) / kCheck) % 2 == 0) continue;
            p.fillRect(QRect(x, y, kCheck, kCheck).intersected(area), QColor(0x3C414B));
        }
    }
}

// Places every cell row by row; returns the sheet's height. With `p` null it only measures.
int layOut(QPainter* p, const std::vector<SheetSection>& sections) {
    const QFont labelFont = latinFont(11, false);
    const QFontMetrics metrics(labelFont);
    int y = kMargin;
    for (const SheetSection& section : sections) {
        if (p != nullptr) drawWordsFrom(*p, kMargin, y + 12, section.title, latinFont(16, true), QColor(pal::kText));
        y += kTitle;
        int x = kMargin;
        int rowHeight = 0;
        // Rows of like heights waste the least room; a stable sort keeps an image's languages side by side.
        std::vector<const SheetItem*> order;
        for (const SheetItem& item : section.items) order.push_back(&item);
        std::stable_sort(order.begin(), order.end(),
                         [](const SheetItem* a, const SheetItem* b) { return a->image.height() > b->image.height(); });
        for (const SheetItem* entry : order) {
            const SheetItem& item = *entry;
            const QSize cell = cellSize(item, metrics);
            if (x > kMargin && x + cell.width() > kSheetWidth - kMargin) {
                x = kMargin;
                y += rowHeight + kGap;
                rowHeight = 0;
            }
            if (p != nullptr) {
                const QSize picture = pictureSize(item.image);
                checker(*p, QRect(QPoint(x, y), picture));
                p->drawImage(x, y, item.image);
                if (magnified(item.image)) {
                    const QRect zoomed(x + item.image.width() + 8, y, item.image.width() * kZoom,
                                       item.image.height() * kZoom);
                    checker(*p, zoomed);
                    p->save();
                    p->setRenderHint(QPainter::SmoothPixmapTransform, false);
                    p->drawImage(zoomed, item.image);
                    p->restore();
                }
                p->setFont(labelFont);
                p->setPen(QColor(0xAEB4C0));
                p->drawText(QPoint(x, y + picture.height() + 13), item.label);
            }
            x += cell.width() + kGap;
            rowHeight = std::max(rowHeight, cell.height());
        }
        y += rowHeight + kGap * 2;
    }
    return y + kMargin;
}

}  // namespace

QImage contactSheet(const std::vector<SheetSection>& sections) {
    QImage sheet(kSheetWidth, layOut(nullptr, sections), QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0x0E0F12));
    QPainter painter(&sheet);
    prepare(painter);
    layOut(&painter, sections);
    return sheet;
}

}  // namespace skin
