// The base of every window of the program: a borderless modal dialog drawn from a background image of
// the skin, dragged by its background, that receives posted window messages in one dispatch function
// (OnWindowMessage) through its bridge. Translucent corners and the message box's constant alpha apply
// where the desktop composites; elsewhere the window is drawn opaque. Main thread.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <vector>

#include "ui/window_bridge.h"

// Control identifiers shared by the skinned dialogs.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdClose = 1033;

class CSkinDialog : public QDialog {
public:
    // background: the skin image the window is drawn from and sized to (empty: none).
    explicit CSkinDialog(const QString& background, QWidget* parent = nullptr);
    ~CSkinDialog() override;

    // Runs the window modally until done(), accept() or reject(); while it runs it is on the stack of
    // running windows. Unlike the toolkit's own loop, hiding the window (the notification area) does
    // not end it.
    int exec() override;
    void done(int result) override;
    // The windows running modally, the first started first.
    static const std::vector<CSkinDialog*>& Running();

    // Ends the window as the user's quit would (a signal asked the program to end). The base cancels.
    virtual void QuitAsRequested() { reject(); }
    // Brings the window forward (a second start of the program asked for it): restored, shown, raised.
    virtual void BringForward();

    // Where other threads and panels post this window's messages.
    IWindowTarget* Target() { return &bridge_; }
    // Whether the desktop composites windows (checked once per process).
    static bool Composited();

protected:
    // Handles one posted window message; the result is the handler's, 0 unless the message says
    // otherwise. The base handles none.
    virtual intptr_t OnWindowMessage(uint32_t code, uintptr_t wParam, intptr_t lParam);
    // Whether a left press at pos (window coordinates) starts dragging the window: the background
    // does; a window that has places of its own to click narrows it.
    virtual bool DragsAt(const QPoint& pos) const;
    void SetBackground(const QString& name);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CWindowBridge bridge_;
    class QEventLoop* loop_ = nullptr;
    QString background_;
    bool dragging_ = false;
    QPoint dragOffset_;
};
