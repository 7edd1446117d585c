// CSkinColorButton: a colour swatch in a skinned frame. Pressing it offers the automatic colour (text 9)
// and other colours (text 10, the desktop's colour dialog); the result is kept as 0x00BBGGRR, the form
// the settings store. Main thread.
#pragma once

#include <QAbstractButton>
#include <cstdint>
#include <functional>

class CPopupPanel;

class CSkinColorButton : public QAbstractButton {
public:
    // automatic: the colour the first entry stands for (0x00BBGGRR).
    CSkinColorButton(int id, uint32_t automatic, QWidget* parent);

    int Id() const { return id_; }
    void SetColor(uint32_t bgr);
    uint32_t Color() const { return color_; }
    // Called after the colour changed through the button.
    void OnChanged(std::function<void(uint32_t)> handler) { onChanged_ = std::move(handler); }

    // The two entries of the pop-up (also what a click on them does).
    void ChooseAutomatic();
    void ChooseOther();
    CPopupPanel* Panel() const { return panel_; }

    static uint32_t ToBgr(const QColor& colour);
    static QColor FromBgr(uint32_t bgr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void OpenPanel();
    void Change(uint32_t bgr);

    int id_;
    uint32_t automatic_;
    uint32_t color_;
    bool hover_ = false;
    CPopupPanel* panel_ = nullptr;
    std::function<void(uint32_t)> onChanged_;
};
