#include "ui/activity_panel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

#include "platform/window_messages.h"
#include "platform/window_target.h"
#include "portallink/portallink.h"
#include "ui/img_txt_button.h"
#include "ui/skin.h"

namespace {

constexpr const char* kBackground = "activepanel_bg";
constexpr int kMargin = 8;
constexpr int kCorner = 8;  // the background's rounded corners and hairline, kept when it is stretched
constexpr int kTitleIndent = 6;
constexpr int kTitleSize = 13;
constexpr int kScrollBarWidth = 6;

// A thin bar in the panel's palette instead of the desktop style's.
constexpr const char* kScrollStyle =
    "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
    "QScrollBar:vertical { width: 6px; background: transparent; margin: 0; }"
    "QScrollBar::handle:vertical { background: #323846; border-radius: 3px; min-height: 24px; }"
    "QScrollBar::handle:vertical:hover { background: #464E5F; }"
    "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
    "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }";

}  // namespace

CActivePanel::CActivePanel(IWindowTarget* notify, QWidget* parent) : QWidget(parent), notify_(notify) {}

void CActivePanel::SetActivities(const ActivityList* list) {
    for (CImgTxtButton* button : buttons_) delete button;
    buttons_.clear();
    const int count = list != nullptr && list->items != nullptr ? list->count : 0;
    int width = 0;
    for (int i = 0; i < count; ++i) {
        const ActivityRecord* record = list->items[i];
        const QString title = record != nullptr ? QString::fromUtf8(record->title) : QString();
        auto* button = new CImgTxtButton("activelist", title, kFirstId + i, this);
        button->SetTextIndent(kTitleIndent);
        button->SetTextSize(kTitleSize);
        button->setFocusPolicy(Qt::NoFocus);
        // A title too long for the row ends in an ellipsis; the whole title is its tip.
        const int room = button->width() - 10 - kTitleIndent;
        const QString shown =
            QFontMetrics(CSkin::Current().ControlFont(kTitleSize)).elidedText(title, Qt::ElideRight, room);
        if (shown != title) {
            button->SetText(shown);
            button->setToolTip(title);
        }
        button->move(0, i * (button->height() + kButtonGap));
        button->show();
        const int id = button->Id();
        connect(button, &QAbstractButton::clicked, this, [this, id] {
            PostWindowMessage(notify_, WM_ACTIVITY_SELECTED, static_cast<uintptr_t>(id - kFirstId), 0);
        });
        buttons_.push_back(button);
        width = std::max(width, button->width());
    }
    const int height = buttons_.empty() ? 0 : buttons_.back()->geometry().bottom() + 1;
    setFixedSize(width, height);
}

void CActivePanel::SetCurrent(int index) {
    for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->SetSelected(static_cast<int>(i) == index);
}

CActiveOutPanel::CActiveOutPanel(QWidget* owner, IWindowTarget* notify)
    : CPopupPanel(kBackground, owner),
      scroll_(new QScrollArea(this)),
      panel_(new CActivePanel(notify)),
      maxHeight_(height()) {
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setStyleSheet(kScrollStyle);
    scroll_->setWidget(panel_);
    SetActivities(nullptr);
}

void CActiveOutPanel::SetActivities(const ActivityList* list) {
    panel_->SetActivities(list);
    // Choosing is done once an activity is picked.
    for (CImgTxtButton* button : panel_->Buttons())
        connect(button, &QAbstractButton::clicked, this, [this] { HidePanel(); });
    const QPixmap row = CSkin::Current().Image("activelist");
    const int rowHeight = row.isNull() ? 32 : row.height();
    const int content = std::max(panel_->height(), rowHeight);
    const int visible = std::min(content, maxHeight_ - 2 * kMargin);
    const bool scrolls = content > visible;
    setFixedHeight(visible + 2 * kMargin);
    // The bar takes the right margin rather than squeezing the rows.
    scroll_->setGeometry(kMargin, kMargin, panel_->width() + (scrolls ? kScrollBarWidth + 2 : 0), visible);
    scroll_->verticalScrollBar()->setValue(0);
}

void CActiveOutPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintCorners(painter);
    DrawStretched(painter, CSkin::Current().Image(kBackground), rect(), kCorner, kCorner, kCorner, kCorner);
}
