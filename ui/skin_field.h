// The look of the settings dialogs' text fields and list boxes: the skin's field frame ("edit",
// stretched), the control face, bright text and an accent selection. Main thread.
#pragma once

class QWidget;

// Gives a QLineEdit, QPlainTextEdit or QListWidget the field look of the current skin.
void StyleAsField(QWidget* field);
