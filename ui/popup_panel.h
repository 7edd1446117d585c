// The small pop-up panels (log-off, volume, layer context, activity list, lists and colours): a
// borderless panel shown at a place next to the control that opened it. Its 500 ms timer reads the
// pointer on every tick and hides the panel at the first tick the pointer is outside it. The panel is
// a window of its own (so it may reach past its owner) that belongs to its owner, so it works while
// the owner runs modally. Main thread.
#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

class CPopupPanel : public QWidget {
public:
    static constexpr int kPointerTimerMs = 500;

    // background: the skin image the panel is drawn from and sized to (empty: drawn plain).
    CPopupPanel(const QString& background, QWidget* owner);

    // Shows the panel with its top-left corner at a desktop position and starts the pointer timer.
    void ShowAt(const QPoint& globalTopLeft);
    // Shows the panel centred under a control.
    void ShowUnder(const QWidget* control);
    // Hides the panel and stops the timer.
    void HidePanel();
    const QTimer& PointerTimer() const { return timer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // Fills what the rounded background leaves open where the desktop does not composite.
    void PaintCorners(QPainter& painter);
    // One tick of the pointer timer.
    void CheckPointer();

private:
    QPixmap background_;
    QTimer timer_;
};
