#include "ui/choice_tiles.h"

#include <QPainter>
#include <QScrollBar>

#include "ui/image_button.h"
#include "ui/skin.h"
#include "ui/skin_label.h"

namespace {

// A tile: the image as CImageButton draws it, and its text on it.
class CTile : public CImageButton {
public:
    CTile(const QString& image, int id, const QString& text, const QRect& area, int pixels, QWidget* parent)
        : CImageButton(image, id, parent), text_(text), area_(area), pixels_(pixels) {
        setToolTip(text);
        setAccessibleName(text);
    }

protected:
    void PaintOver(QPainter& painter) override {
        painter.setFont(CSkin::Current().ControlFont(pixels_, pixels_ > 16));
        painter.setPen(Selected() || Hovered() ? CSkin::BrightText() : CSkin::LabelText());
        const QString shown = painter.fontMetrics().elidedText(text_, Qt::ElideMiddle, area_.width());
        painter.drawText(area_, Qt::AlignCenter | Qt::TextSingleLine, shown);
    }

private:
    QString text_;
    QRect area_;
    int pixels_;
};

}  // namespace

CChoiceTiles::CChoiceTiles(QWidget* parent) : QScrollArea(parent), row_(new QWidget) {
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidget(row_);
    setStyleSheet(QString("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
                          "QScrollBar:horizontal { background: transparent; height: 8px; }"
                          "QScrollBar::handle:horizontal { background: %1; border-radius: 4px; min-width: 24px; }"
                          "QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }")
                      .arg(CSkin::Hairline().name()));
}

void CChoiceTiles::AddTile(const QString& image, int id, const QString& text, const QRect& textArea, int textPixels,
                           const QString& caption) {
    auto* tile = new CTile(image, id, text, textArea, textPixels, row_);
    const int index = static_cast<int>(tiles_.size());
    tile->move(index * (tile->width() + kGap), 0);
    connect(tile, &QAbstractButton::clicked, this, [this, index] { Choose(index); });
    if (!caption.isEmpty()) {
        auto* label = new CLabel(caption, row_, 12, CSkin::NormalText());
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(tile->x(), tile->height() + 4, tile->width(), kCaptionHeight - 4);
    }
    tiles_.push_back(tile);
    const int rowWidth = static_cast<int>(tiles_.size()) * (tile->width() + kGap) - kGap;
    row_->resize(rowWidth, tile->height() + kCaptionHeight);
    // Few tiles sit centred; many scroll from the first.
    const int left = std::max(0, (width() - rowWidth) / 2);
    setViewportMargins(rowWidth < width() ? left : 0, 0, 0, 0);
}

void CChoiceTiles::Choose(int index) {
    if (index < 0 || index >= static_cast<int>(tiles_.size())) return;
    chosen_ = index;
    for (size_t i = 0; i < tiles_.size(); ++i) tiles_[i]->SetSelected(static_cast<int>(i) == index);
}
