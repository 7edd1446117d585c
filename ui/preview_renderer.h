// The preview renderer: shows the scene view's YUY2 frames on a surface inside its host widget, centred
// 1:1 where a frame is smaller than the host and scaled down into it where larger. Where an OpenGL context
// is drawn by a graphics device, the display converts and scales (a YUY2 texture and a conversion shader);
// elsewhere the imaging conversion to BGR and QPainter do. Frames reach it from the composition thread
// through CPreviewFrames (Render), never waiting for the window; the surface is created, re-created after a
// lost context and painted on the window's thread.
//
// BREVACAST_PREVIEW chooses the path: "cpu" forces the CPU path (tests, machines whose GL driver is
// broken), "gl" the OpenGL path wherever a context can be made (a software rasteriser too); unset or
// anything else picks OpenGL only when a hardware-drawn context exists.
#pragma once

#include <QEvent>
#include <QObject>
#include <QRect>
#include <QSize>
#include <memory>
#include <string>

#include "imaging/image_buffer.h"
#include "ui/preview_frames.h"

class QWidget;

enum class PreviewPath { kAuto, kOpenGL, kCpu };

// The path BREVACAST_PREVIEW asks for.
PreviewPath PreviewPathFromEnvironment();

// What OpenGL offers in this process (probed once, on the window's thread).
struct OpenGLSupport {
    bool context = false;   // a context can be made and made current
    bool hardware = false;  // ... and a graphics device draws it (not a software rasteriser)
    std::string renderer;   // GL_RENDERER
};
const OpenGLSupport& ProbeOpenGL();

// Where a frame is drawn in the host: along each side, centred at its own size where it is smaller than
// the host, over the host's whole side where larger.
QRect PreviewTarget(const QSize& host, const QSize& frame);

// The event that tells a renderer, on the window's thread, that a frame waits or its surface broke.
QEvent::Type PreviewEventType();

// What the renderer needs of a surface.
class IPreviewSurface {
public:
    virtual ~IPreviewSurface() = default;
    virtual QWidget* Widget() = 0;
    // The context was lost (re-create on the same path) or could not be made at all (fall back).
    virtual bool Lost() const { return false; }
    virtual bool Failed() const { return false; }
};

class PreviewRenderer : public QObject {
public:
    // Create: a surface covering host on the requested path (OpenGL only where ProbeOpenGL allows it),
    // showing the frames of frames. Window's thread.
    static std::unique_ptr<PreviewRenderer> Create(QWidget* host, std::shared_ptr<CPreviewFrames> frames,
                                                   PreviewPath path = PreviewPathFromEnvironment());
    ~PreviewRenderer() override;
    PreviewRenderer(const PreviewRenderer&) = delete;
    PreviewRenderer& operator=(const PreviewRenderer&) = delete;

    // Re-create: replaces the surface with a new one; an OpenGL surface whose context could not be made
    // gives way to the CPU path. The newest frame is shown again. Window's thread.
    void Recreate();
    // Render: hands a YUY2 frame over; any one thread at a time, never waiting for the window.
    void Render(const ImageBuffer* frame) { frames_->Submit(frame); }

    PreviewPath Path() const { return path_; }
    QWidget* Surface() const;
    int Recreations() const { return recreations_; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PreviewRenderer(QWidget* host, std::shared_ptr<CPreviewFrames> frames, PreviewPath path);
    void MakeSurface();

    QWidget* host_;
    std::shared_ptr<CPreviewFrames> frames_;
    PreviewPath path_;
    std::unique_ptr<IPreviewSurface> surface_;
    int recreations_ = 0;
};
