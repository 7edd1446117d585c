#include "ui/msg_panel.h"

#include <QApplication>
#include <QLabel>

#include "app/language_table.h"
#include "ui/image_button.h"
#include "ui/skin.h"

namespace {

constexpr double kMessageOpacity = 200.0 / 255.0;

}  // namespace

CMsgPanel::CMsgPanel(const QString& text, bool withCancel, QWidget* parent) : CSkinDialog("msg_bg", parent) {
    setWindowTitle(QString::fromStdString(GetAppTitle()));
    if (Composited()) setWindowOpacity(kMessageOpacity);
    if (width() < 100) setFixedSize(380, 190);  // no skin: the same geometry, drawn plain

    auto* title = new QLabel(QString::fromStdString(GetAppTitle()), this);
    title->setFont(CSkin::Current().ControlFont(13, true));
    title->setStyleSheet(QString("color: %1; background: transparent;").arg(CSkin::BrightText().name()));
    title->setGeometry(16, 0, width() - 60, 36);

    close_ = new CImageButton("msgclose", kIdClose, this);
    close_->move(width() - close_->width() - 8, (36 - close_->height()) / 2);
    connect(close_, &QAbstractButton::clicked, this, &QDialog::reject);

    auto* icon = new QLabel(this);
    icon->setPixmap(CSkin::Current().Image("warning"));
    icon->setGeometry(24, 58, 40, 40);

    text_ = new QLabel(text, this);
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    text_->setFont(CSkin::Current().ControlFont(13));
    text_->setStyleSheet(QString("color: %1; background: transparent;").arg(CSkin::BrightText().name()));
    text_->setGeometry(80, 44, width() - 100, 88);

    ok_ = new CImageButton("ok", kIdOk, this);
    const int buttonsTop = height() - ok_->height() - 16;
    ok_->move(width() - ok_->width() - 16, buttonsTop);
    ok_->setAccessibleName("OK");
    connect(ok_, &QAbstractButton::clicked, this, &QDialog::accept);
    if (withCancel) {
        cancel_ = new CImageButton("cancel", kIdCancel, this);
        cancel_->move(ok_->x() - cancel_->width() - 12, buttonsTop);
        cancel_->setAccessibleName("Cancel");
        connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);
    }
}

QString CMsgPanel::Text() const { return text_->text(); }

bool ShowMessage(const QString& text, bool withCancel) {
    CMsgPanel panel(text, withCancel, QApplication::activeWindow());
    return panel.exec() == QDialog::Accepted;
}

bool ShowMessage(const std::string& text, bool withCancel) {
    return ShowMessage(QString::fromStdString(text), withCancel);
}
