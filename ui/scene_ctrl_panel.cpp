#include "ui/scene_ctrl_panel.h"

#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "app/language_table.h"
#include "scene/layer_node.h"
#include "scene/scene.h"
#include "ui/image_button.h"
#include "ui/skin.h"

namespace {

QString KindIcon(int32_t kind) {
    switch (kind) {
        case kLayerScreen:
            return "kind_screen";
        case kLayerDevice:
            return "kind_camera";
        case kLayerFile:
            return "kind_media";
        case kLayerText:
            return "kind_text";
        default:
            return "kind_picture";
    }
}

// What a row calls its source: a file by its name without the folders, a caption by its first line, a
// stream or a device as it is named.
QString RowName(int32_t kind, const QString& name) {
    if (kind == kLayerText) return name.section('\n', 0, 0).trimmed();
    if (name.contains("://")) return name;
    const QString file = QFileInfo(name).fileName();
    return file.isEmpty() ? name : file;
}

}  // namespace

CLayerCtrlPanel::CLayerCtrlPanel(LayerNode* node, int32_t kind, const QString& name, bool visible, QWidget* parent)
    : QWidget(parent), node_(node), name_(name), icon_(KindIcon(kind)), visible_(visible) {
    setFixedHeight(CSceneCtrlPanel::kRowHeight);
    setAttribute(Qt::WA_Hover);
    setToolTip(name);
    toggle_ = new CImageButton("eye", 0, this);
    toggle_->SetSelected(!visible);
    toggle_->setToolTip(UiText(kTextSource));
    connect(toggle_, &QAbstractButton::clicked, this, [this] {
        SetLayerVisible(!visible_);
        if (onToggled_) onToggled_(visible_);
    });
}

void CLayerCtrlPanel::SetLayerVisible(bool visible) {
    visible_ = visible;
    toggle_->SetSelected(!visible);
    update();
}

void CLayerCtrlPanel::SetSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

void CLayerCtrlPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap back = CSkin::Current().Image(selected_ ? "layerrow_s" : hover_ ? "layerrow_o" : "layerrow");
    if (!back.isNull()) painter.drawPixmap(QRect(0, 0, width(), height()), back);
    const QPixmap icon = CSkin::Current().Image(icon_);
    if (!icon.isNull()) painter.drawPixmap(12, (height() - icon.height()) / 2, icon);
    painter.setFont(CSkin::Current().ControlFont(13));
    painter.setPen(!visible_ ? CSkin::NormalText() : selected_ ? CSkin::BrightText() : CSkin::LabelText());
    const QRect text(36, 0, toggle_->x() - 42, height());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(name_, Qt::ElideMiddle, text.width()));
}

void CLayerCtrlPanel::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QWidget::enterEvent(event);
}

void CLayerCtrlPanel::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QWidget::leaveEvent(event);
}

void CLayerCtrlPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onClicked_) onClicked_();
}

CSceneCtrlPanel::CSceneCtrlPanel(CScene* scene, QWidget* parent)
    : QWidget(parent), scene_(scene), area_(new QWidget(this)), scroll_(new QScrollBar(Qt::Vertical, this)) {
    const QPixmap back = CSkin::Current().Image("right");
    setFixedWidth(back.isNull() ? 220 : back.width());
    scroll_->hide();
    scroll_->setStyleSheet(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
        "QScrollBar::handle:vertical { background: #323846; border-radius: 4px; min-height: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }");
    connect(scroll_, &QScrollBar::valueChanged, this, [this] { LayOut(); });
}

void CSceneCtrlPanel::AddRow(LayerNode* node, int32_t kind, const QString& name, bool visible, bool atTop) {
    auto* row = new CLayerCtrlPanel(node, kind, RowName(kind, name), visible, area_);
    row->OnToggled([this, node](bool on) { scene_->SetLayerVisible(node, on); });
    row->OnClicked([this, node] {
        if (onRowClicked_) onRowClicked_(node);
    });
    rows_.insert(atTop ? rows_.begin() : rows_.end(), row);
    row->show();
    LayOut();
}

int CSceneCtrlPanel::IndexOf(LayerNode* node) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i]->Node() == node) return static_cast<int>(i);
    return -1;
}

CLayerCtrlPanel* CSceneCtrlPanel::Row(LayerNode* node) const {
    const int i = IndexOf(node);
    return i < 0 ? nullptr : rows_[static_cast<size_t>(i)];
}

std::vector<LayerNode*> CSceneCtrlPanel::Order() const {
    std::vector<LayerNode*> order;
    for (CLayerCtrlPanel* row : rows_) order.push_back(row->Node());
    return order;
}

void CSceneCtrlPanel::Mirror(uint32_t code, LayerNode* node) {
    const int i = IndexOf(node);
    if (code == WM_SCENE_SELECTED) {
        for (CLayerCtrlPanel* row : rows_) row->SetSelected(row->Node() == node);
        return;
    }
    if (i < 0) return;
    const auto at = rows_.begin() + i;
    switch (code) {
        case WM_SCENE_DELETE:
            delete *at;
            rows_.erase(at);
            break;
        case WM_SCENE_MOVE_UP:
            if (i > 0) std::iter_swap(at, at - 1);
            break;
        case WM_SCENE_MOVE_DOWN:
            if (i + 1 < static_cast<int>(rows_.size())) std::iter_swap(at, at + 1);
            break;
        case WM_SCENE_TO_TOP:
            std::rotate(rows_.begin(), at, at + 1);
            break;
        case WM_SCENE_TO_BOTTOM:
            std::rotate(at, at + 1, rows_.end());
            break;
        case WM_SCENE_FILE_ENDED:
            (*at)->SetLayerVisible(false);
            scene_->SetLayerVisible(node, false);
            break;
        default:
            return;
    }
    LayOut();
}

void CSceneCtrlPanel::LayOut() {
    const int viewHeight = height() - kHeaderHeight;
    const int contentHeight = static_cast<int>(rows_.size()) * kRowHeight;
    const bool scrolls = contentHeight > viewHeight && viewHeight > 0;
    scroll_->setVisible(scrolls);
    scroll_->setRange(0, scrolls ? contentHeight - viewHeight : 0);
    scroll_->setPageStep(std::max(viewHeight, 1));
    scroll_->setSingleStep(kRowHeight);
    scroll_->setGeometry(width() - 10, kHeaderHeight + 2, 8, std::max(viewHeight - 4, 0));
    area_->setGeometry(2, kHeaderHeight, width() - (scrolls ? 14 : 4), std::max(viewHeight, 0));
    const int offset = scrolls ? scroll_->value() : 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        CLayerCtrlPanel* row = rows_[i];
        row->setGeometry(0, static_cast<int>(i) * kRowHeight - offset, area_->width(), kRowHeight);
        row->Toggle()->move(row->width() - row->Toggle()->width() - 10, (kRowHeight - row->Toggle()->height()) / 2);
    }
}

void CSceneCtrlPanel::resizeEvent(QResizeEvent*) { LayOut(); }

void CSceneCtrlPanel::wheelEvent(QWheelEvent* event) {
    if (scroll_->isVisible()) scroll_->setValue(scroll_->value() - event->angleDelta().y() / 120 * kRowHeight);
}

void CSceneCtrlPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap back = CSkin::Current().Image("right");
    if (!back.isNull())
        painter.drawPixmap(QRect(0, 0, width(), height()), back,
                           QRect(0, 0, width(), std::min(height(), back.height())));
    else
        painter.fillRect(rect(), CSkin::PanelBackground());
    painter.setFont(CSkin::Current().ControlFont(13, true));
    painter.setPen(CSkin::BrightText());
    painter.drawText(QRect(16, 0, width() - 32, kHeaderHeight), Qt::AlignLeft | Qt::AlignVCenter, UiText(kTextSource));
}
