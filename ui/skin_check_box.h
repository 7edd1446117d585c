// CSkinCheckBox: a check box or a radio button of the settings dialogs: the skin's box ("check") or
// circle ("radio") in its normal, hover, checked ("_s") and disabled look, with a text of one or more
// lines beside it; the whole of it takes the click. Radio buttons that share a parent are exclusive.
// Main thread.
#pragma once

#include <QAbstractButton>

class CSkinCheckBox : public QAbstractButton {
public:
    enum class Look { kCheck, kRadio };

    CSkinCheckBox(Look look, const QString& text, int id, QWidget* parent);

    int Id() const { return id_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    static constexpr int kGap = 8;  // between the box and the text

    int id_;
    QString base_;
    bool hover_ = false;
};
