// The preview surface without OpenGL: each new YUY2 frame is converted to BGR by the imaging code once
// and drawn with QPainter, 1:1 or scaled down smoothly. Window's thread.
#pragma once

#include <QImage>
#include <QWidget>
#include <memory>
#include <vector>

#include "ui/preview_frames.h"
#include "ui/preview_renderer.h"

class CPreviewCpuSurface : public QWidget, public IPreviewSurface {
public:
    CPreviewCpuSurface(std::shared_ptr<CPreviewFrames> frames, QWidget* parent);

    QWidget* Widget() override { return this; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Convert(const ImageBuffer* frame);

    std::shared_ptr<CPreviewFrames> frames_;
    std::vector<uint8_t> bgr_;
    QImage image_;  // RGB32: the raster engine copies it without a conversion
};
