// The preview surface on OpenGL: each new YUY2 frame is uploaded as a texture of half its width (one texel
// holds Y0 U Y1 V), and a shader converts it (BT.601 studio range) and filters it bilinearly into the
// target rectangle, so the display does the conversion and the scaling. A context that is lost, or that
// could not be made, is reported through Lost and Failed; the renderer re-creates the surface. A context
// Qt replaces itself (the surface moved to another window) is set up again. Window's thread.
#pragma once

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <memory>
#include <vector>

#include "ui/preview_frames.h"
#include "ui/preview_renderer.h"

class CPreviewGlSurface : public QOpenGLWidget, public IPreviewSurface, protected QOpenGLFunctions {
public:
    // broken: told (posted an event) when the surface finds its context lost or unusable.
    CPreviewGlSurface(std::shared_ptr<CPreviewFrames> frames, QObject* broken, QWidget* parent);
    ~CPreviewGlSurface() override;

    QWidget* Widget() override { return this; }
    bool Lost() const override { return lost_; }
    bool Failed() const override { return failed_; }

protected:
    void initializeGL() override;
    void paintGL() override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Upload(const ImageBuffer* frame);
    void ReleaseGl();
    void Report();

    std::shared_ptr<CPreviewFrames> frames_;
    QObject* broken_;
    std::unique_ptr<QOpenGLShaderProgram> program_;
    QOpenGLBuffer quad_{QOpenGLBuffer::VertexBuffer};
    GLuint texture_ = 0;
    int textureWidth_ = 0, frameWidth_ = 0, frameHeight_ = 0;
    bool uploaded_ = false;
    std::vector<uint8_t> staging_;  // rows of odd-width frames, padded to whole texels
    bool lost_ = false, failed_ = false, reported_ = false;
};
