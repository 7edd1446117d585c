// The preview renderer on both display paths: where a frame lands in its host (centred 1:1 when smaller,
// over the whole host when larger), the newest of frames handed over while the window was busy, and a
// surface re-created after its context went.
#include "ui/preview_renderer.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <thread>
#include <vector>

#include "imaging/color_convert.h"
#include "tests/ui/ui_test_support.h"

namespace {

struct Colour {
    int r, g, b;
};
constexpr Colour kLeft{230, 140, 40};  // orange
constexpr Colour kRight{30, 90, 220};  // blue

// A YUY2 frame whose left half is one colour and right half another.
ImageBufferPtr TwoColourFrame(int w, int h, Colour left = kLeft, Colour right = kRight) {
    std::vector<uint8_t> bgr(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Colour& c = x < w / 2 ? left : right;
            uint8_t* p = &bgr[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<uint8_t>(c.b);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.r);
        }
    ImageBufferPtr frame(CreateImageBuffer(w, h, kFourccYUY2));
    BGRToYUY2(bgr.data(), w * 3, frame->planes[0], frame->strides[0], w, h);
    return frame;
}

bool Is(QRgb c, Colour want, int tolerance = 10) {
    return std::abs(qRed(c) - want.r) <= tolerance && std::abs(qGreen(c) - want.g) <= tolerance &&
           std::abs(qBlue(c) - want.b) <= tolerance;
}
bool IsBlack(QRgb c) { return qRed(c) < 8 && qGreen(c) < 8 && qBlue(c) < 8; }

class PreviewPaths : public testing::TestWithParam<PreviewPath> {
protected:
    void SetUp() override {
        if (GetParam() == PreviewPath::kOpenGL && !ProbeOpenGL().context) GTEST_SKIP() << "no OpenGL context here";
        host_.resize(800, 600);
        host_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host_));
        renderer_ = PreviewRenderer::Create(&host_, frames_, GetParam());
        ASSERT_NE(renderer_, nullptr);
        ASSERT_EQ(renderer_->Path(), GetParam());
    }
    // What the host shows once it has taken frame number `published`.
    QImage ShownAfter(uint64_t published, const std::function<bool(const QImage&)>& ready) {
        QImage shown;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                if (frames_->Published() < published) return false;
                shown = renderer_->Surface()->grab().toImage().convertToFormat(QImage::Format_RGB32);
                return ready(shown);
            },
            10000));
        return shown;
    }

    QWidget host_;
    std::shared_ptr<CPreviewFrames> frames_ = std::make_shared<CPreviewFrames>();
    std::unique_ptr<PreviewRenderer> renderer_;
};

}  // namespace

TEST_P(PreviewPaths, ASmallerFrameIsCentredOneToOneAndALargerOneFillsTheHost) {
    renderer_->Render(TwoColourFrame(640, 360).get());
    QImage shown = ShownAfter(1, [](const QImage& i) { return Is(i.pixel(100, 300), kLeft); });
    ASSERT_EQ(shown.size(), QSize(800, 600));
    // 640 x 360 in 800 x 600: at +80, +120.
    EXPECT_TRUE(IsBlack(shown.pixel(79, 300)));
    EXPECT_TRUE(Is(shown.pixel(80, 300), kLeft));
    EXPECT_TRUE(Is(shown.pixel(80 + 318, 300), kLeft));
    EXPECT_TRUE(Is(shown.pixel(80 + 321, 300), kRight)) << "1:1: the halves meet where the frame's do";
    EXPECT_TRUE(Is(shown.pixel(719, 300), kRight));
    EXPECT_TRUE(IsBlack(shown.pixel(720, 300)));
    EXPECT_TRUE(IsBlack(shown.pixel(400, 119)));
    EXPECT_TRUE(Is(shown.pixel(200, 120), kLeft));
    EXPECT_TRUE(Is(shown.pixel(200, 479), kLeft));
    EXPECT_TRUE(IsBlack(shown.pixel(200, 480)));

    // 1000 x 700: scaled down into the whole host.
    renderer_->Render(TwoColourFrame(1000, 700).get());
    shown = ShownAfter(2, [](const QImage& i) { return Is(i.pixel(0, 0), kLeft); });
    EXPECT_TRUE(Is(shown.pixel(0, 0), kLeft));
    EXPECT_TRUE(Is(shown.pixel(0, 599), kLeft));
    EXPECT_TRUE(Is(shown.pixel(396, 300), kLeft));
    EXPECT_TRUE(Is(shown.pixel(404, 300), kRight));
    EXPECT_TRUE(Is(shown.pixel(799, 0), kRight));
    EXPECT_TRUE(Is(shown.pixel(799, 599), kRight));
    EXPECT_EQ(renderer_->Path(), GetParam()) << "drawn on the path asked for, without a fall-back";
    EXPECT_EQ(renderer_->Recreations(), 0);
}

TEST_P(PreviewPaths, FramesHandedOverWhileTheWindowIsBusyNeverWaitAndTheNewestIsShown) {
    // The window's thread runs no events while another thread hands fifty frames over: the hand-over
    // must finish on its own, and only the last one counts.
    const ImageBufferPtr older = TwoColourFrame(320, 180, kRight, kRight);
    const ImageBufferPtr newest = TwoColourFrame(320, 180, kLeft, kLeft);
    std::thread producer([&] {
        for (int i = 0; i < 49; ++i) renderer_->Render(older.get());
        renderer_->Render(newest.get());
    });
    producer.join();
    EXPECT_EQ(frames_->Published(), 50u);
    const QImage shown = ShownAfter(50, [](const QImage& i) { return Is(i.pixel(400, 300), kLeft); });
    EXPECT_TRUE(Is(shown.pixel(400, 300), kLeft));
    EXPECT_TRUE(Is(shown.pixel(241, 211), kLeft));
}

TEST_P(PreviewPaths, ARecreatedSurfaceShowsTheNewestFrameAgain) {
    renderer_->Render(TwoColourFrame(640, 360).get());
    ShownAfter(1, [](const QImage& i) { return Is(i.pixel(100, 300), kLeft); });
    renderer_->Recreate();
    EXPECT_EQ(renderer_->Recreations(), 1);
    EXPECT_EQ(renderer_->Path(), GetParam());
    EXPECT_EQ(renderer_->Surface()->geometry(), host_.rect());
    QImage shown = ShownAfter(1, [](const QImage& i) { return Is(i.pixel(100, 300), kLeft); });
    EXPECT_TRUE(Is(shown.pixel(700, 300), kRight));

    // Moved into another window, the surface gets a new context from Qt and sets itself up again.
    QWidget other;
    other.resize(800, 600);
    host_.setParent(&other);
    host_.show();
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    renderer_->Render(TwoColourFrame(640, 360, kRight, kLeft).get());
    shown = ShownAfter(2, [](const QImage& i) { return Is(i.pixel(100, 300), kRight); });
    EXPECT_TRUE(Is(shown.pixel(700, 300), kLeft));
    host_.setParent(nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, PreviewPaths, testing::Values(PreviewPath::kCpu, PreviewPath::kOpenGL),
                         [](const testing::TestParamInfo<PreviewPath>& info) {
                             return info.param == PreviewPath::kCpu ? "Cpu" : "OpenGL";
                         });

TEST(PreviewPathChoice, TheEnvironmentForcesTheCpuPathAndAutoTakesOpenGLOnlyFromAGraphicsDevice) {
    setenv("BREVACAST_PREVIEW", "cpu", 1);
    EXPECT_EQ(PreviewPathFromEnvironment(), PreviewPath::kCpu);
    setenv("BREVACAST_PREVIEW", "gl", 1);
    EXPECT_EQ(PreviewPathFromEnvironment(), PreviewPath::kOpenGL);
    unsetenv("BREVACAST_PREVIEW");
    EXPECT_EQ(PreviewPathFromEnvironment(), PreviewPath::kAuto);

    QWidget host;
    auto frames = std::make_shared<CPreviewFrames>();
    const OpenGLSupport& gl = ProbeOpenGL();
    auto automatic = PreviewRenderer::Create(&host, frames, PreviewPath::kAuto);
    EXPECT_EQ(automatic->Path(), gl.context && gl.hardware ? PreviewPath::kOpenGL : PreviewPath::kCpu) << gl.renderer;
    automatic.reset();
    auto forced = PreviewRenderer::Create(&host, frames, PreviewPath::kCpu);
    EXPECT_EQ(forced->Path(), PreviewPath::kCpu);
}
