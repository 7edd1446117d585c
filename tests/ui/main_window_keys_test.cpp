// The preview's keys in the whole main window: the arrows and Delete reach the view while one of the
// window's buttons has the keyboard focus (a focused button would otherwise take the arrows to move the
// focus on), and Enter and Escape never close the window.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include "app/app_config.h"
#include "app/web_session.h"
#include "media/audio_mixer.h"
#include "scene/file_device_list.h"
#include "scene/picture_layer.h"
#include "scene/scene.h"
#include "scene/video_device_list.h"
#include "tests/ui/ui_test_support.h"
#include "ui/bg_panel.h"
#include "ui/main_dialog.h"
#include "ui/studio_context.h"

TEST(MainWindowKeys, ArrowsAndDeleteReachThePreviewWhileAButtonHasTheFocus) {
    ui_test::UseLanguage("en");
    QTemporaryDir dir;
    AppConfig config(dir.filePath("Config.xml").toStdString());
    config.Scenes.clear();  // no stored sources: nothing to open
    CWebSession session{DeploymentValues{}};
    CAudioMixer mixer(config.SampleRate);
    CFileDeviceList media(&mixer, config.SampleRate);
    CVideoDeviceList cameras;
    StudioContext context;
    context.config = &config;
    context.session = &session;
    context.mixer = &mixer;
    context.media = &media;
    context.cameras = &cameras;

    CBrevacastPCDlg window(&context);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    CScene* scene = window.Scene();
    ImageBufferPtr pixels(CreateImageBuffer(64, 36, kFourccRV24));
    std::fill(pixels->planes[0], pixels->planes[0] + 64 * 36 * 3, 128);
    auto layer = std::make_unique<CPicLayer>("grey.png", CPictureBitmap(std::move(pixels)), 255);
    layer->SetRect({100, 100, 260, 190});
    LayerNode* node = scene->AdoptLayer(kLayerPicture, std::move(layer), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return scene->WithLayer(node, [](CBaseLayer&) {}); }, 10000));
    QTest::mouseClick(window.View(), Qt::LeftButton, Qt::NoModifier, QPoint(180, 145));
    ASSERT_EQ(window.View()->SelectedNode(), node);

    QWidget* button = window.Button(kIdScreen);
    ASSERT_NE(button, nullptr);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Right);
    QTest::keyClick(button, Qt::Key_Right);
    QTest::keyClick(button, Qt::Key_Down);
    LayerRect moved;
    scene->WithLayer(node, [&](CBaseLayer& l) { moved = l.GetRect(); });
    EXPECT_EQ(moved, (LayerRect{102, 101, 262, 191}));

    QTest::keyClick(button, Qt::Key_Escape);
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible()) << "Enter and Escape never close the window";

    QTest::keyClick(button, Qt::Key_Delete);
    EXPECT_TRUE(QTest::qWaitFor([&] { return scene->LayersTopFirst().empty(); }, 10000));
    EXPECT_EQ(window.View()->SelectedNode(), nullptr);
}
