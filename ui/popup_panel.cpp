#include "ui/popup_panel.h"

#include <QCursor>
#include <QPainter>

#include "ui/skin.h"

CPopupPanel::CPopupPanel(const QString& background, QWidget* owner)
    // An override-redirect window on X11: placed exactly where asked, above everything, never focused.
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint) {
    if (!background.isEmpty()) background_ = CSkin::Current().Image(background);
    if (!background_.isNull()) setFixedSize(background_.size());
    timer_.setInterval(kPointerTimerMs);
    connect(&timer_, &QTimer::timeout, this, [this] { CheckPointer(); });
}

void CPopupPanel::ShowAt(const QPoint& globalTopLeft) {
    move(globalTopLeft);
    show();
    raise();
    timer_.start();
}

void CPopupPanel::ShowUnder(const QWidget* control) {
    const QPoint bottomCentre = control->mapToGlobal(QPoint(control->width() / 2, control->height()));
    ShowAt(QPoint(bottomCentre.x() - width() / 2, bottomCentre.y()));
}

void CPopupPanel::HidePanel() {
    timer_.stop();
    hide();
}

void CPopupPanel::CheckPointer() {
    if (!frameGeometry().contains(QCursor::pos())) HidePanel();
}

void CPopupPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!background_.isNull()) {
        painter.drawPixmap(rect(), background_);
        return;
    }
    painter.fillRect(rect(), CSkin::PanelBackground());
    painter.setPen(CSkin::Hairline());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
