#include "ui/preview_renderer.h"

#include <QCoreApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QResizeEvent>
#include <QWidget>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "ui/preview_cpu_surface.h"
#include "ui/preview_gl_surface.h"

namespace {

constexpr int kMaxContextLosses = 3;

}  // namespace

QEvent::Type PreviewEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

PreviewPath PreviewPathFromEnvironment() {
    const char* value = std::getenv("BREVACAST_PREVIEW");
    if (value == nullptr) return PreviewPath::kAuto;
    if (std::strcmp(value, "cpu") == 0) return PreviewPath::kCpu;
    if (std::strcmp(value, "gl") == 0) return PreviewPath::kOpenGL;
    return PreviewPath::kAuto;
}

const OpenGLSupport& ProbeOpenGL() {
    static const OpenGLSupport support = [] {
        OpenGLSupport found;
        QOpenGLContext context;
        if (!context.create()) return found;
        QOffscreenSurface surface;
        surface.setFormat(context.format());
        surface.create();
        if (!surface.isValid() || !context.makeCurrent(&surface)) return found;
        found.context = true;
        const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
        found.renderer = name != nullptr ? name : "";
        // A rasteriser on the processor would spend more of it than the plain path does.
        found.hardware = found.renderer.find("llvmpipe") == std::string::npos &&
                         found.renderer.find("softpipe") == std::string::npos &&
                         found.renderer.find("Software") == std::string::npos &&
                         found.renderer.find("SWR") == std::string::npos;
        context.doneCurrent();
        return found;
    }();
    return support;
}

QRect PreviewTarget(const QSize& host, const QSize& frame) {
    QRect target(QPoint(0, 0), host);
    if (frame.width() < host.width()) {
        target.setLeft((host.width() - frame.width()) / 2);
        target.setWidth(frame.width());
    }
    if (frame.height() < host.height()) {
        target.setTop((host.height() - frame.height()) / 2);
        target.setHeight(frame.height());
    }
    return target;
}

std::unique_ptr<PreviewRenderer> PreviewRenderer::Create(QWidget* host, std::shared_ptr<CPreviewFrames> frames,
                                                         PreviewPath path) {
    if (host == nullptr || !frames) return nullptr;
    PreviewPath chosen = PreviewPath::kCpu;
    if (path != PreviewPath::kCpu) {
        const OpenGLSupport& gl = ProbeOpenGL();
        if (gl.context && (path == PreviewPath::kOpenGL || gl.hardware)) chosen = PreviewPath::kOpenGL;
    }
    std::unique_ptr<PreviewRenderer> renderer(new PreviewRenderer(host, std::move(frames), chosen));
    renderer->MakeSurface();
    return renderer;
}

PreviewRenderer::PreviewRenderer(QWidget* host, std::shared_ptr<CPreviewFrames> frames, PreviewPath path)
    : host_(host), frames_(std::move(frames)), path_(path) {
    host_->installEventFilter(this);
    // Called on the producer's thread: postEvent is safe there, and the renderer detaches the listener
    // before it goes, so no event is posted to it afterwards.
    frames_->SetListener([this] { QCoreApplication::postEvent(this, new QEvent(PreviewEventType())); });
}

PreviewRenderer::~PreviewRenderer() {
    frames_->SetListener({});
    host_->removeEventFilter(this);
    surface_.reset();
}

QWidget* PreviewRenderer::Surface() const { return surface_ ? surface_->Widget() : nullptr; }

void PreviewRenderer::MakeSurface() {
    surface_.reset();
    if (path_ == PreviewPath::kOpenGL)
        surface_ = std::make_unique<CPreviewGlSurface>(frames_, this, host_);
    else
        surface_ = std::make_unique<CPreviewCpuSurface>(frames_, host_);
    QWidget* widget = surface_->Widget();
    widget->setGeometry(host_->rect());
    widget->show();
}

void PreviewRenderer::Recreate() {
    // A context that cannot be made, or that keeps getting lost, is not worth another try.
    if (path_ == PreviewPath::kOpenGL && surface_ &&
        (surface_->Failed() || (surface_->Lost() && recreations_ >= kMaxContextLosses))) {
        Log(LogLevel::kWarning, "preview", "OpenGL cannot draw the preview here: drawing without it");
        path_ = PreviewPath::kCpu;
    }
    ++recreations_;
    MakeSurface();
    // The new surface has seen no frame: show the newest again.
    surface_->Widget()->update();
}

bool PreviewRenderer::event(QEvent* event) {
    if (event->type() != PreviewEventType()) return QObject::event(event);
    if (surface_ && (surface_->Lost() || surface_->Failed()))
        Recreate();
    else if (surface_ && frames_->HasFresh())
        surface_->Widget()->update();
    return true;
}

bool PreviewRenderer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == host_ && event->type() == QEvent::Resize && surface_)
        surface_->Widget()->setGeometry(QRect(QPoint(0, 0), static_cast<QResizeEvent*>(event)->size()));
    return QObject::eventFilter(watched, event);
}
