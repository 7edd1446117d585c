#include "ui/skin_dialog.h"

#include <QEventLoop>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>

#include "platform/x11/compositing.h"
#include "ui/skin.h"

CSkinDialog::CSkinDialog(const QString& background, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), bridge_(this) {
    if (Composited()) setAttribute(Qt::WA_TranslucentBackground);
    SetBackground(background);
}

CSkinDialog::~CSkinDialog() { bridge_.Detach(); }

namespace {

std::vector<CSkinDialog*>& RunningStack() {
    static std::vector<CSkinDialog*> stack;
    return stack;
}

}  // namespace

int CSkinDialog::exec() {
    RunningStack().push_back(this);
    setResult(0);
    setWindowModality(Qt::ApplicationModal);
    show();
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
    std::erase(RunningStack(), this);
    return result();
}

void CSkinDialog::done(int result) {
    QDialog::done(result);
    if (loop_ != nullptr) loop_->quit();
}

const std::vector<CSkinDialog*>& CSkinDialog::Running() { return RunningStack(); }

void CSkinDialog::BringForward() {
    if (isMinimized() || !isVisible()) showNormal();
    raise();
    activateWindow();
}

bool CSkinDialog::Composited() {
    static const bool composited = DesktopComposites();
    return composited;
}

void CSkinDialog::SetBackground(const QString& name) {
    background_ = name;
    const QPixmap image = name.isEmpty() ? QPixmap() : CSkin::Current().Image(name);
    if (!image.isNull()) setFixedSize(image.size());
    update();
}

intptr_t CSkinDialog::OnWindowMessage(uint32_t, uintptr_t, intptr_t) { return 0; }

bool CSkinDialog::DragsAt(const QPoint& pos) const { return childAt(pos) == nullptr; }

bool CSkinDialog::event(QEvent* event) {
    if (event->type() == CWindowMessageEvent::EventType()) {
        const auto* message = static_cast<CWindowMessageEvent*>(event);
        OnWindowMessage(message->code, message->wParam, message->lParam);
        return true;
    }
    return QDialog::event(event);
}

void CSkinDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Without compositing the corners the image leaves transparent show the panel colour.
    if (!Composited()) painter.fillRect(rect(), CSkin::PanelBackground());
    const QPixmap image = background_.isEmpty() ? QPixmap() : CSkin::Current().Image(background_);
    if (!image.isNull())
        painter.drawPixmap(rect(), image);
    else if (Composited())
        painter.fillRect(rect(), CSkin::PanelBackground());
}

void CSkinDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !DragsAt(event->position().toPoint())) {
        QDialog::mousePressEvent(event);
        return;
    }
    // The window manager moves the window where it can; otherwise the window follows the pointer.
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CSkinDialog::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CSkinDialog::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}
