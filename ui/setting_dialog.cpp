#include "ui/setting_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>

#include "app/language_table.h"
#include "ui/dialog_texts.h"
#include "ui/image_button.h"
#include "ui/msg_panel.h"
#include "ui/skin.h"
#include "ui/skin_field.h"
#include "ui/skin_label.h"

namespace {

constexpr int kMargin = 16;
constexpr int kButtonGap = 12;

}  // namespace

CSettingDialog::CSettingDialog(const QString& background, const QSize& fallbackSize, QWidget* parent)
    : CSkinDialog(background, parent) {
    setWindowTitle(QString::fromStdString(GetAppTitle()));
    if (CSkin::Current().Image(background).isNull()) setFixedSize(fallbackSize);

    close_ = new CImageButton("addclose", kIdClose, this);
    close_->move(width() - close_->width() - (kTitleBand - close_->height()) / 2, (kTitleBand - close_->height()) / 2);
    close_->setAccessibleName("Close");
    connect(close_, &QAbstractButton::clicked, this, &QDialog::reject);

    ok_ = new CImageButton("ok", kIdOk, this);
    const int buttonsTop = height() - ok_->height() - kMargin;
    ok_->move(width() - ok_->width() - kMargin, buttonsTop);
    ok_->setAccessibleName("OK");
    connect(ok_, &QAbstractButton::clicked, this, [this] {
        if (Transfer()) accept();
    });

    cancel_ = new CImageButton("cancel", kIdCancel, this);
    cancel_->move(ok_->x() - cancel_->width() - kButtonGap, buttonsTop);
    cancel_->setAccessibleName("Cancel");
    connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);
}

CLabel* CSettingDialog::AddLabel(QWidget* parent, const QString& text, int x, int y, int width, int rowHeight) {
    auto* label = new CLabel(text, parent);
    label->setGeometry(x, y, width, rowHeight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLineEdit* CSettingDialog::AddEdit(QWidget* parent, int x, int y, int width, int maxDigits) {
    auto* edit = new QLineEdit(parent);
    StyleAsField(edit);
    edit->setGeometry(x, y, width, 30);
    if (maxDigits > 0)
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QString("\\d{0,%1}").arg(maxDigits)), edit));
    return edit;
}

bool CSettingDialog::ReadNumber(QLineEdit* field, int low, int high, int* value) {
    bool parsed = false;
    const qlonglong number = field->text().trimmed().toLongLong(&parsed);
    if (parsed && number >= low && number <= high) {
        *value = static_cast<int>(number);
        return true;
    }
    ShowMessage(DialogCaption(DialogText::kRangeMessage).arg(low).arg(high));
    field->setFocus();
    field->selectAll();
    return false;
}

bool CSettingDialog::DragsAt(const QPoint& pos) const { return pos.y() < kTitleBand && CSkinDialog::DragsAt(pos); }

void CSettingDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        qobject_cast<QPlainTextEdit*>(QApplication::focusWidget()) == nullptr) {
        ok_->click();
        return;
    }
    CSkinDialog::keyPressEvent(event);
}

void CSettingDialog::showEvent(QShowEvent* event) {
    CSkinDialog::showEvent(event);
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) button->setFocusPolicy(Qt::NoFocus);
    if (focusWidget() == nullptr) focusNextChild();
}
