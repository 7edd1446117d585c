#include "ui/skin_color_button.h"

#include <QColorDialog>
#include <QPainter>

#include "app/language_table.h"
#include "ui/img_txt_button.h"
#include "ui/popup_panel.h"
#include "ui/skin.h"

CSkinColorButton::CSkinColorButton(int id, uint32_t automatic, QWidget* parent)
    : QAbstractButton(parent), id_(id), automatic_(automatic), color_(automatic) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    const QPixmap frame = CSkin::Current().Image("colorbtn");
    setFixedSize(frame.isNull() ? QSize(48, 26) : frame.size());
    connect(this, &QAbstractButton::clicked, this, [this] { OpenPanel(); });
}

uint32_t CSkinColorButton::ToBgr(const QColor& colour) {
    return static_cast<uint32_t>(colour.red()) | (static_cast<uint32_t>(colour.green()) << 8) |
           (static_cast<uint32_t>(colour.blue()) << 16);
}

QColor CSkinColorButton::FromBgr(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

void CSkinColorButton::SetColor(uint32_t bgr) {
    color_ = bgr & 0x00FFFFFF;
    update();
}

void CSkinColorButton::Change(uint32_t bgr) {
    SetColor(bgr);
    if (panel_ != nullptr) panel_->HidePanel();
    if (onChanged_) onChanged_(color_);
}

void CSkinColorButton::ChooseAutomatic() { Change(automatic_); }

void CSkinColorButton::ChooseOther() {
    if (panel_ != nullptr) panel_->HidePanel();
    const QColor chosen = QColorDialog::getColor(FromBgr(color_), window(), UiText(kTextOtherColors));
    if (chosen.isValid()) Change(ToBgr(chosen));
}

void CSkinColorButton::OpenPanel() {
    if (panel_ == nullptr) {
        panel_ = new CPopupPanel(QString(), this);
        panel_->setFixedSize(148, 2 * 30 + 8);
        auto* automatic = new CImgTxtButton("menuitem", UiText(kTextDefaultColor), 0, panel_);
        auto* other = new CImgTxtButton("menuitem", UiText(kTextOtherColors), 1, panel_);
        automatic->SetTextIndent(22);
        other->SetTextIndent(22);
        automatic->move(4, 4);
        other->move(4, 34);
        connect(automatic, &QAbstractButton::clicked, this, [this] { ChooseAutomatic(); });
        connect(other, &QAbstractButton::clicked, this, [this] { ChooseOther(); });
    }
    panel_->ShowAt(mapToGlobal(QPoint(0, height())));
}

void CSkinColorButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap frame = CSkin::Current().Image(hover_ ? "colorbtn_o" : "colorbtn");
    if (!frame.isNull()) painter.drawPixmap(rect(), frame);
    painter.fillRect(rect().adjusted(4, 4, -4, -4), FromBgr(color_));
}

void CSkinColorButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CSkinColorButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}
