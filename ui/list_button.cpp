#include "ui/list_button.h"

#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include "ui/img_txt_button.h"
#include "ui/skin.h"

namespace {

constexpr int kFrameLeft = 8;
constexpr int kFrameRight = 28;  // the chevron's column

// One entry of the pop-up list: a text on a plain row that lights up under the pointer.
class CListRow : public QAbstractButton {
public:
    CListRow(const QString& text, bool current, QWidget* parent) : QAbstractButton(parent), current_(current) {
        setText(text);
        setAttribute(Qt::WA_Hover);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const bool hot = underMouse() || current_;
        if (underMouse()) painter.fillRect(rect(), QColor(0x2A, 0x2F, 0x3A));
        painter.setFont(CSkin::Current().ControlFont(13));
        painter.setPen(hot ? CSkin::HotText() : CSkin::LabelText());
        painter.drawText(rect().adjusted(10, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(text(), Qt::ElideRight, width() - 16));
    }

private:
    bool current_;
};

}  // namespace

CListButton::CListButton(int id, int width, QWidget* parent) : QAbstractButton(parent), id_(id) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    const QPixmap frame = CSkin::Current().Image("listbtn");
    setFixedSize(width, frame.isNull() ? 30 : frame.height());
    connect(this, &QAbstractButton::clicked, this, [this] { OpenList(); });
}

void CListButton::SetItems(const QStringList& items) {
    items_ = items;
    if (current_ >= items_.size()) current_ = -1;
    update();
}

void CListButton::SetCurrent(int index) {
    current_ = index >= 0 && index < items_.size() ? index : -1;
    update();
}

QString CListButton::CurrentText() const { return current_ >= 0 ? items_[current_] : QString(); }

void CListButton::SetPlaceholder(const QString& text) {
    placeholder_ = text;
    update();
}

void CListButton::Choose(int index) {
    SetCurrent(index);
    if (panel_ != nullptr) panel_->HidePanel();
    if (current_ >= 0 && onChosen_) onChosen_(current_);
}

void CListButton::OpenList() {
    if (items_.isEmpty()) return;
    if (panel_ == nullptr) panel_ = new CListPanel(this, width());
    panel_->Fill(items_, current_);
    panel_->ShowAt(mapToGlobal(QPoint(0, height())));
}

void CListButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QString name = !isEnabled() ? "listbtn_d" : hover_ ? "listbtn_o" : "listbtn";
    QPixmap frame = CSkin::Current().Image(name);
    if (frame.isNull()) frame = CSkin::Current().Image("listbtn");
    DrawStretched(painter, frame, rect(), kFrameLeft, kFrameRight);
    painter.setFont(CSkin::Current().ControlFont(13));
    const bool chosen = current_ >= 0;
    painter.setPen(isEnabled() && chosen ? CSkin::BrightText() : CSkin::NormalText());
    const QRect area = rect().adjusted(10, 0, -kFrameRight, 0);
    painter.drawText(
        area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        painter.fontMetrics().elidedText(chosen ? CurrentText() : placeholder_, Qt::ElideRight, area.width()));
}

void CListButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CListButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

CListPanel::CListPanel(CListButton* owner, int width)
    : CPopupPanel(QString(), owner), owner_(owner), scroll_(new QScrollArea(this)), rows_(new QWidget) {
    setFixedWidth(width);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidget(rows_);
    scroll_->setStyleSheet(
        QString("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
                "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px 0; }"
                "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 24px; margin: 0 1px; }"
                "QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }"
                "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }")
            .arg(CSkin::Hairline().lighter(130).name()));
}

void CListPanel::Fill(const QStringList& items, int current) {
    for (QAbstractButton* row : Rows()) delete row;
    const int visible = std::min<int>(static_cast<int>(items.size()), kMaxVisibleRows);
    setFixedHeight(visible * kRowHeight + 2);
    scroll_->setGeometry(1, 1, width() - 2, height() - 2);
    const bool scrolls = items.size() > kMaxVisibleRows;
    const int rowWidth = width() - 2 - (scrolls ? scroll_->verticalScrollBar()->sizeHint().width() : 0);
    rows_->resize(rowWidth, static_cast<int>(items.size()) * kRowHeight);
    for (int i = 0; i < items.size(); ++i) {
        auto* row = new CListRow(items[i], i == current, rows_);
        row->setGeometry(0, i * kRowHeight, rowWidth, kRowHeight);
        row->show();
        connect(row, &QAbstractButton::clicked, this, [this, i] { owner_->Choose(i); });
    }
    if (current >= 0) scroll_->ensureVisible(0, current * kRowHeight + kRowHeight / 2, 0, kRowHeight);
}

QList<QAbstractButton*> CListPanel::Rows() const { return rows_->findChildren<QAbstractButton*>(); }
