#include "ui/popup_panel.h"

#include <QCursor>
#include <QPainter>

#include "ui/skin.h"
#include "ui/skin_dialog.h"

CPopupPanel::CPopupPanel(const QString& background, QWidget* owner)
    // An override-redirect window on X11: placed exactly where asked, above everything, never focused.
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint) {
    // Rounded corners show what is behind where the desktop composites; elsewhere PaintCorners fills them.
    if (CSkinDialog::Composited()) setAttribute(Qt::WA_TranslucentBackground);
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

void CPopupPanel::PaintCorners(QPainter& painter) {
    // The pop-ups open over the main window, whose panel colour the corners take; the style's light
    // window colour would show as specks.
    if (!CSkinDialog::Composited()) painter.fillRect(rect(), CSkin::PanelBackground());
}

void CPopupPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintCorners(painter);
    if (!background_.isNull()) {
        painter.drawPixmap(rect(), background_);
        return;
    }
    painter.fillRect(rect(), CSkin::PanelBackground());
    painter.setPen(CSkin::Hairline());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
