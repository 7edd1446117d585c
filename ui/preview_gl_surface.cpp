#include "ui/preview_gl_surface.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QVector2D>
#include <cmath>
#include <cstring>

#include "platform/log.h"

#ifndef GL_CONTEXT_LOST
#define GL_CONTEXT_LOST 0x0507
#endif

namespace {

// Plain GLSL 1.10 / ES 1.00, so any context Qt gives serves.
const char* const kVertexShader = R"(
attribute highp vec2 position;
varying highp vec2 uv;
void main() {
    uv = vec2(position.x * 0.5 + 0.5, 0.5 - position.y * 0.5);
    gl_Position = vec4(position, 0.0, 1.0);
}
)";

// One texel holds a pixel pair (Y0 U Y1 V in r g b a). Each output pixel is interpolated bilinearly
// between the four nearest source pixels, each converted first (BT.601 studio range, as the imaging code
// converts), so scaling down stays smooth and 1:1 stays exact.
const char* const kFragmentShader = R"(
#ifdef GL_ES
precision highp float;
#endif
uniform sampler2D yuy2;
uniform vec2 frameSize;
uniform float texels;
varying vec2 uv;

vec3 pixel(vec2 p) {
    p = clamp(p, vec2(0.0), frameSize - vec2(1.0));
    float pair = floor(p.x * 0.5);
    vec4 t = texture2D(yuy2, vec2((pair + 0.5) / texels, (p.y + 0.5) / frameSize.y));
    float luma = (p.x - 2.0 * pair) < 0.5 ? t.r : t.b;
    float y = 1.164384 * (luma - 0.062745);
    float u = t.g - 0.501961;
    float v = t.a - 0.501961;
    return vec3(y + 1.596027 * v, y - 0.391762 * u - 0.812968 * v, y + 2.017232 * u);
}

void main() {
    vec2 p = uv * frameSize - 0.5;
    vec2 base = floor(p);
    vec2 f = p - base;
    vec3 top = mix(pixel(base), pixel(base + vec2(1.0, 0.0)), f.x);
    vec3 bottom = mix(pixel(base + vec2(0.0, 1.0)), pixel(base + vec2(1.0, 1.0)), f.x);
    gl_FragColor = vec4(clamp(mix(top, bottom, f.y), 0.0, 1.0), 1.0);
}
)";

constexpr GLfloat kQuad[] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};

}  // namespace

CPreviewGlSurface::CPreviewGlSurface(std::shared_ptr<CPreviewFrames> frames, QObject* broken, QWidget* parent)
    : QOpenGLWidget(parent), frames_(std::move(frames)), broken_(broken) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

CPreviewGlSurface::~CPreviewGlSurface() {
    if (context() == nullptr) return;
    // The base destroys the context after this part of the object is gone: nothing may answer it then.
    disconnect(context(), nullptr, this, nullptr);
    ReleaseGl();
}

void CPreviewGlSurface::Report() {
    if (reported_) return;
    reported_ = true;
    QCoreApplication::postEvent(broken_, new QEvent(PreviewEventType()));
}

void CPreviewGlSurface::initializeGL() {
    initializeOpenGLFunctions();
    // Qt replaces the context when the surface moves to another window: the objects go with the old one.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { ReleaseGl(); });
    program_ = std::make_unique<QOpenGLShaderProgram>();
    program_->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader);
    program_->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader);
    program_->bindAttributeLocation("position", 0);
    if (!program_->link()) {
        Log(LogLevel::kWarning, "preview", "the conversion shader does not build: %s",
            program_->log().toStdString().c_str());
        program_.reset();
        failed_ = true;
        Report();
        return;
    }
    quad_.create();
    quad_.bind();
    quad_.allocate(kQuad, sizeof(kQuad));
    quad_.release();
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    // The shader addresses texel centres itself and interpolates converted pixels, not texels.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    textureWidth_ = 0;
    uploaded_ = false;
}

void CPreviewGlSurface::ReleaseGl() {
    makeCurrent();
    if (texture_ != 0) glDeleteTextures(1, &texture_);
    texture_ = 0;
    program_.reset();
    quad_.destroy();
    uploaded_ = false;
    doneCurrent();
}

void CPreviewGlSurface::Upload(const ImageBuffer* frame) {
    const int w = frame->width, h = frame->height;
    const int texels = (w + 1) / 2;
    const uint8_t* pixels = frame->planes[0];
    if (frame->strides[0] != texels * 4) {
        // An odd width leaves the last texel of each row half in the next row: pad the rows.
        const size_t row = static_cast<size_t>(texels) * 4;
        staging_.assign(row * h, 0);
        for (int y = 0; y < h; ++y)
            std::memcpy(staging_.data() + y * row, frame->planes[0] + static_cast<size_t>(y) * frame->strides[0],
                        std::min<size_t>(row, frame->strides[0]));
        pixels = staging_.data();
    }
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (texels != textureWidth_ || h != frameHeight_ || !uploaded_) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texels, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        textureWidth_ = texels;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, texels, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    }
    frameWidth_ = w;
    frameHeight_ = h;
    uploaded_ = true;
}

void CPreviewGlSurface::paintGL() {
    if (!context()->isValid()) {
        lost_ = true;
        Report();
        return;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (!program_ || texture_ == 0) return;
    bool fresh = false;
    const ImageBuffer* frame = frames_->TakeLatest(&fresh);
    if (frame == nullptr) return;
    if (fresh || !uploaded_) Upload(frame);

    const QRect target = PreviewTarget(size(), QSize(frameWidth_, frameHeight_));
    const qreal ratio = devicePixelRatioF();
    // GL counts rows from the bottom.
    glViewport(static_cast<GLint>(std::lround(target.x() * ratio)),
               static_cast<GLint>(std::lround((height() - target.y() - target.height()) * ratio)),
               static_cast<GLsizei>(std::lround(target.width() * ratio)),
               static_cast<GLsizei>(std::lround(target.height() * ratio)));
    program_->bind();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture_);
    program_->setUniformValue("yuy2", 0);
    program_->setUniformValue("frameSize",
                              QVector2D(static_cast<float>(frameWidth_), static_cast<float>(frameHeight_)));
    program_->setUniformValue("texels", static_cast<GLfloat>(textureWidth_));
    quad_.bind();
    program_->enableAttributeArray(0);
    program_->setAttributeBuffer(0, GL_FLOAT, 0, 2);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    program_->disableAttributeArray(0);
    quad_.release();
    program_->release();
    if (glGetError() == GL_CONTEXT_LOST) {
        lost_ = true;
        Report();
    }
}

void CPreviewGlSurface::paintEvent(QPaintEvent* event) {
    QOpenGLWidget::paintEvent(event);
    // Shown and painted without a context: none could be made here.
    if (!isValid() && isVisible() && !size().isEmpty() && !failed_) {
        Log(LogLevel::kWarning, "preview", "no OpenGL context for the preview: drawing without it");
        failed_ = true;
        Report();
    }
}
