#include "ui/skin_field.h"

#include <QString>
#include <QWidget>

#include "ui/skin.h"

void StyleAsField(QWidget* field) {
    field->setFont(CSkin::Current().ControlFont(13));
    // The frame image keeps its 6-pixel edge and stretches its middle; without a skin a plain frame
    // of the same colours stands in.
    const QString image = QString::fromStdString(CSkin::Current().SkinFolder()) + "/edit.png";
    const QString frame = CSkin::Current().Has("edit")
                              ? QString("border-image: url(%1) 6 6 6 6 stretch; border-width: 6px;").arg(image)
                              : QString("border: 1px solid %1; border-radius: 6px; background: %2;")
                                    .arg(CSkin::Hairline().name(), CSkin::FieldBackground().name());
    const QString colours = QString("color: %1; selection-background-color: %2; selection-color: %3;")
                                .arg(CSkin::BrightText().name(), CSkin::HotText().name(), CSkin::BrightText().name());
    field->setStyleSheet(
        QString("QLineEdit, QPlainTextEdit, QListWidget { %1 %2 padding: 0px 2px; }"
                "QLineEdit:disabled { color: %3; }"
                "QListWidget { outline: 0; }"
                "QListWidget::item { padding: 3px 4px; border: none; }"
                "QListWidget::item:selected { background: %4; color: %5; border-radius: 4px; }"
                "QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
                "QScrollBar::handle:vertical { background: %6; border-radius: 4px; min-height: 24px; }"
                "QScrollBar:horizontal { background: transparent; height: 8px; margin: 0; }"
                "QScrollBar::handle:horizontal { background: %6; border-radius: 4px; min-width: 24px; }"
                "QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }"
                "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }")
            .arg(frame, colours, CSkin::NormalText().name(), QString("#2A3F5C"), CSkin::BrightText().name(),
                 CSkin::Hairline().name()));
}
