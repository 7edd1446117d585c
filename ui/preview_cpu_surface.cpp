#include "ui/preview_cpu_surface.h"

#include <QPaintEvent>
#include <QPainter>

#include "imaging/color_convert.h"
#include "imaging/composite.h"

CPreviewCpuSurface::CPreviewCpuSurface(std::shared_ptr<CPreviewFrames> frames, QWidget* parent)
    : QWidget(parent), frames_(std::move(frames)) {
    // Every pixel is painted: the frame and black around it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CPreviewCpuSurface::Convert(const ImageBuffer* frame) {
    const int w = frame->width, h = frame->height;
    if (image_.width() != w || image_.height() != h) {
        image_ = QImage(w, h, QImage::Format_RGB32);
        image_.fill(Qt::black);  // the fourth bytes stay 0xFF from here on
    }
    bgr_.resize(static_cast<size_t>(w) * h * 3);
    YUY2ToBGR(frame->planes[0], frame->strides[0], bgr_.data(), w * 3, w, h);
    CopyC3ToAC4(bgr_.data(), w * 3, image_.bits(), static_cast<int>(image_.bytesPerLine()), w, h);
}

void CPreviewCpuSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    bool fresh = false;
    const ImageBuffer* frame = frames_->TakeLatest(&fresh);
    if (frame != nullptr && (fresh || image_.isNull())) Convert(frame);
    if (image_.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QRect target = PreviewTarget(size(), image_.size());
    painter.setClipRegion(QRegion(rect()).subtracted(target));
    painter.fillRect(rect(), Qt::black);
    painter.setClipping(false);
    if (target.size() == image_.size()) {
        painter.drawImage(target.topLeft(), image_);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image_);
    }
}
