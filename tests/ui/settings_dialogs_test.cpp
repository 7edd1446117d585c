// The settings dialogs as the presenter uses them: the values they hand back and the ranges they
// refuse, the groups that exclude each other, the capture formats a (scripted) camera offers and the
// running camera layer the dialog changes at once, the sound devices of a real sound server, and each
// dialog opened on its own with what OK saves. Screenshots of every dialog in both languages.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/app_config.h"
#include "app/language_table.h"
#include "media/audio_mixer.h"
#include "platform/queue_window_target.h"
#include "scene/dev_layer.h"
#include "scene/file_device.h"
#include "scene/scene.h"
#include "tests/common/scripted_v4l2.h"
#include "tests/media/pulse_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "tools/peers/pulse_server.h"
#include "ui/border_setting_dlg.h"
#include "ui/camera_setting_dlg.h"
#include "ui/choice_tiles.h"
#include "ui/dialog_runner.h"
#include "ui/dialog_texts.h"
#include "ui/exit_dlg.h"
#include "ui/image_button.h"
#include "ui/img_txt_button.h"
#include "ui/list_button.h"
#include "ui/msg_panel.h"
#include "ui/pic_setting_dlg.h"
#include "ui/screen_setting_dlg.h"
#include "ui/skin_check_box.h"
#include "ui/skin_color_button.h"
#include "ui/skin_label.h"
#include "ui/slider_button.h"
#include "ui/sys_setting_dlg.h"
#include "ui/txt_setting_dlg.h"
#include "ui/video_device_setting_dlg.h"

// libpulse guards its process-wide caches, and Qt the thread pool that decodes the skin's images, with
// synchronisation of their own that ThreadSanitizer cannot see: neither is built with it.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulsecommon\nrace:libpulse.so\nrace:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n";
}

namespace {

// A settings file of its own, and the process-wide objects the dialogs read it through.
struct Studio {
    Studio() {
        config = std::make_unique<AppConfig>(ConfigPath());
        context.config = config.get();
    }
    std::string ConfigPath() const { return dir.filePath("Config.xml").toStdString(); }
    // The settings as the file holds them now.
    std::unique_ptr<AppConfig> Reloaded() const { return std::make_unique<AppConfig>(ConfigPath()); }

    QTemporaryDir dir;
    std::unique_ptr<AppConfig> config;
    StudioContext context;
};

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(4, 4)); }

// Presses OK of the next message box once it runs, and keeps its text.
std::shared_ptr<QString> ConfirmNextMessage() {
    auto text = std::make_shared<QString>();
    QTimer::singleShot(0, [text] {
        auto* panel = dynamic_cast<CMsgPanel*>(QApplication::activeModalWidget());
        if (panel == nullptr) return;
        *text = panel->Text();
        Click(panel->OkButton());
    });
    return text;
}

// Acts on the dialog of type T once it runs modally.
template <class T>
void WhenRunning(std::function<void(T*)> act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(dialog);
    });
}

TextStyle BoldStyle(const std::string& face, uint32_t colour, int32_t speed, int32_t direction) {
    TextStyle style;
    style.FaceName = face;
    style.rgbColor = colour;
    style.Bold = 1;
    style.MoveSpeed = speed;
    style.MoveDirection = direction;
    return style;
}

int LitCount(CImgTxtButton* (CTxtSettingDlg::*button)(int) const, const CTxtSettingDlg& dialog, int count) {
    int lit = 0;
    for (int i = 0; i < count; ++i) lit += (dialog.*button)(i)->Selected() ? 1 : 0;
    return lit;
}

}  // namespace

TEST(SystemSettings, VideoPageRefusesBitRatesOutOfRangeAndKeepsTheDeinterlaceListInOrder) {
    ui_test::UseLanguage("en");
    Studio studio;
    studio.config->FrameSizeCX = 1600;  // no preset has this size
    studio.config->FrameSizeCY = 900;
    studio.config->DeinterlaceDevices = {"Card A", "Card B"};
    CSysSettingDlg dialog(&studio.context);
    dialog.show();
    EXPECT_EQ(dialog.CurrentPage(), CSysSettingDlg::kVideoPage);
    EXPECT_TRUE(dialog.Tab(CSysSettingDlg::kVideoPage)->Selected());
    EXPECT_EQ(dialog.FrameSizeList()->Current(), -1);
    EXPECT_EQ(dialog.FrameSizeList()->Items().size(), 7);
    EXPECT_EQ(dialog.FrameSizeList()->Items().front(), "640x360 360P");

    // Another tab shows its page alone.
    Click(dialog.Tab(CSysSettingDlg::kOtherPage));
    EXPECT_TRUE(dialog.PageWidget(CSysSettingDlg::kOtherPage)->isVisible());
    EXPECT_FALSE(dialog.PageWidget(CSysSettingDlg::kVideoPage)->isVisible());
    EXPECT_FALSE(dialog.Tab(CSysSettingDlg::kVideoPage)->Selected());
    EXPECT_TRUE(dialog.Tab(CSysSettingDlg::kOtherPage)->Selected());

    // Out of range: the range message, and the dialog stays open on the video page.
    dialog.BitrateEdit()->setText("255");
    auto message = ConfirmNextMessage();
    Click(dialog.OkButton());
    EXPECT_EQ(*message, "Please enter an integer between 256 and 99999.");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.CurrentPage(), CSysSettingDlg::kVideoPage);
    dialog.BitrateEdit()->setText("100000");
    message = ConfirmNextMessage();
    Click(dialog.OkButton());
    EXPECT_FALSE(message->isEmpty());
    EXPECT_TRUE(dialog.isVisible());

    // The list box gives its entry back to the device list, and takes it again at its end.
    dialog.DeinterlaceList()->setCurrentRow(0);
    Click(dialog.RemoveButton());
    EXPECT_EQ(dialog.DeinterlaceList()->count(), 1);
    EXPECT_EQ(dialog.DeviceList()->Items(), QStringList{"Card A"});
    dialog.DeviceList()->Choose(0);
    Click(dialog.AddButton());
    EXPECT_TRUE(dialog.DeviceList()->Items().isEmpty());
    Click(dialog.AddButton());  // nothing chosen: nothing moves
    EXPECT_EQ(dialog.DeinterlaceList()->count(), 2);

    dialog.BitrateEdit()->setText("256");
    Click(dialog.OkButton());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Values().bitrate, 256);
    EXPECT_EQ(dialog.Values().frameWidth, 1920) << "no preset chosen: the largest output";
    EXPECT_EQ(dialog.Values().frameHeight, 1080);
    EXPECT_EQ(studio.config->DeinterlaceDevices, (std::vector<std::string>{"Card B", "Card A"}));

    // The highest rate is taken, and a chosen preset gives its size.
    CSysSettingDlg again(&studio.context);
    again.show();
    again.FrameSizeList()->Choose(1);  // 640x480 VGA
    again.BitrateEdit()->setText("99999");
    Click(again.OkButton());
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(again.Values().bitrate, 99999);
    EXPECT_EQ(again.Values().frameWidth, 640);
    EXPECT_EQ(again.Values().frameHeight, 480);
}

TEST(SystemSettings, OtherPageTogglesAtOnceAndHandsTheFolderToTheDesktop) {
    ui_test::UseLanguage("cn");
    Studio studio;
    studio.config->UseIpp = 0;
    studio.config->CloseAero = 1;
    studio.config->ShowCtrl = 1;
    studio.config->LocalSaveFolder = "";
    CSysSettingDlg dialog(&studio.context);
    QStringList shown;
    QString askedTitle, askedStart;
    DesktopChoosers choosers;
    choosers.showFolder = [&shown](const QString& folder) { shown << folder; };
    choosers.chooseFolder = [&](QWidget*, const QString& title, const QString& start) {
        askedTitle = title;
        askedStart = start;
        return QString("/srv/recordings");
    };
    dialog.SetChoosers(choosers);
    dialog.show();
    dialog.ShowPage(CSysSettingDlg::kOtherPage);

    Click(dialog.UseIppBox());
    Click(dialog.CloseAeroBox());
    EXPECT_EQ(dialog.Values().useIpp, 1) << "each toggle takes effect in the dialog's value at once";
    EXPECT_EQ(dialog.Values().closeAero, 0);
    EXPECT_EQ(dialog.Values().showCtrl, 1);

    Click(dialog.OpenFolderButton());
    EXPECT_TRUE(shown.isEmpty()) << "an empty folder is not shown";
    dialog.FolderEdit()->setText("/tmp");
    Click(dialog.OpenFolderButton());
    EXPECT_EQ(shown, QStringList{"/tmp"});

    Click(dialog.ChangeFolderButton());
    EXPECT_EQ(askedTitle, "请选择文件保存目录");
    EXPECT_EQ(askedStart, "/tmp");
    EXPECT_EQ(dialog.FolderEdit()->text(), "/srv/recordings");
    EXPECT_EQ(dialog.Values().recordFolder, "/srv/recordings");

    // Typed by hand, the folder is taken at OK; the main window keeps the old one when it does not exist.
    dialog.FolderEdit()->setText(studio.dir.path() + "/missing");
    Click(dialog.OkButton());
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Values().recordFolder, (studio.dir.path() + "/missing").toStdString());
    EXPECT_FALSE(StoreSystemSettings(dialog.Values(), studio.config.get()));
    EXPECT_EQ(studio.config->LocalSaveFolder, "");
    EXPECT_EQ(studio.config->UseIpp, 1);
    SystemSettingValues existing = dialog.Values();
    existing.recordFolder = studio.dir.path().toStdString();
    EXPECT_TRUE(StoreSystemSettings(existing, studio.config.get()));
    EXPECT_EQ(studio.config->LocalSaveFolder, studio.dir.path().toStdString());
}

TEST(SystemSettingsSound, TheListsNameTheServersMicrophonesAndOutputsWithTheStoredOnesChosen) {
    ui_test::UseLanguage("en");
    CPulseServer server;
    ASSERT_TRUE(server.Start({PipeSourceLine("bvmic", "BvMic", "s16le", 44100)}));
    server.ExportToEnvironment();
    CAudioMixer mixer(44100);
    Studio studio;
    studio.context.mixer = &mixer;
    studio.config->MicAudioDevice = "BvMic";
    studio.config->SpkAudioDevice = "";  // the server's default

    CSysSettingDlg dialog(&studio.context);
    dialog.show();
    // The sink's monitor carries system sound: it is no microphone.
    EXPECT_EQ(dialog.MicrophoneList()->Items(), (QStringList{"System default", "BvMic"}));
    EXPECT_EQ(dialog.SpeakerList()->Items(), (QStringList{"System default", "BvNull"}));
    EXPECT_EQ(dialog.MicrophoneList()->CurrentText(), "BvMic");
    EXPECT_EQ(dialog.SpeakerList()->Current(), 0);

    dialog.MicrophoneList()->Choose(0);
    dialog.SpeakerList()->Choose(1);
    Click(dialog.OkButton());
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Values().microphone, "");
    EXPECT_EQ(dialog.Values().speaker, "BvNull");

    // A stored device that is gone stays chosen rather than being replaced without a word.
    studio.config->MicAudioDevice = "USB Headset";
    CSysSettingDlg unplugged(&studio.context);
    EXPECT_EQ(unplugged.MicrophoneList()->CurrentText(), "USB Headset");
}

TEST(TextSettings, SpeedAndDirectionAreExclusiveGroupsAndTheStoredFaceIsKept) {
    ui_test::UseLanguage("cn");
    CTxtSettingDlg dialog("第一行\nsecond line", BoldStyle("Face Not Installed", 0x000000FF, 2, 3));
    dialog.show();
    EXPECT_EQ(dialog.FontList()->CurrentText(), "Face Not Installed");
    EXPECT_TRUE(dialog.FontList()->Items().contains("DejaVu Sans")) << "the faces installed here";
    EXPECT_TRUE(dialog.StyleToggle(0)->Selected());
    EXPECT_TRUE(dialog.SpeedButton(2)->Selected());
    EXPECT_TRUE(dialog.DirectionButton(3)->Selected());

    Click(dialog.SpeedButton(0));  // "无"
    EXPECT_EQ(dialog.SpeedButton(0)->Text(), "无");
    EXPECT_EQ(LitCount(&CTxtSettingDlg::SpeedButton, dialog, 4), 1);
    EXPECT_EQ(dialog.Style().MoveSpeed, 0);
    Click(dialog.SpeedButton(3));
    Click(dialog.DirectionButton(1));
    EXPECT_EQ(LitCount(&CTxtSettingDlg::SpeedButton, dialog, 4), 1);
    EXPECT_EQ(LitCount(&CTxtSettingDlg::DirectionButton, dialog, 4), 1);
    Click(dialog.StyleToggle(0));  // bold off
    Click(dialog.StyleToggle(4));  // hollow on
    Click(dialog.StyleToggle(2));  // underline on
    dialog.FontList()->Choose(static_cast<int>(dialog.FontList()->Items().indexOf("DejaVu Sans")));
    dialog.TextEdit()->setPlainText("直播\nLive");

    Click(dialog.OkButton());
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    const TextStyle chosen = dialog.Style();
    EXPECT_EQ(dialog.Text(), "直播\nLive");
    EXPECT_EQ(chosen.FaceName, "DejaVu Sans");
    EXPECT_EQ(chosen.rgbColor, 0x000000FFu);
    EXPECT_EQ(chosen.MoveSpeed, 3);
    EXPECT_EQ(chosen.MoveDirection, 1);
    EXPECT_EQ(std::vector<int>({chosen.Bold, chosen.Italic, chosen.UnderLine, chosen.StrikeOut, chosen.Hollow}),
              std::vector<int>({0, 0, 1, 0, 1}));
}

TEST(PictureSettings, TheExtensionDecidesPictureOrMediaAndTheSliderKeepsAByte) {
    ui_test::UseLanguage("en");
    CPicSettingDlg dialog("/home/presenter/PHOTO.JPEG", 200, kPlayLoop | kPlayHideAtEnd);
    QString askedStart, askedFilter;
    DesktopChoosers choosers;
    choosers.chooseFile = [&](QWidget*, const QString& start, const QString& filter) {
        askedStart = start;
        askedFilter = filter;
        return QString("/home/presenter/clip.MKV");
    };
    dialog.SetChoosers(choosers);
    dialog.show();
    EXPECT_TRUE(dialog.IsPicture());
    EXPECT_EQ(dialog.SliderLabel()->text(), "Opacity:");
    for (int bit = 0; bit < CPicSettingDlg::kPlayBoxes; ++bit) EXPECT_FALSE(dialog.PlayBox(bit)->isEnabled());
    EXPECT_EQ(dialog.Value(), 200) << "an untouched slider keeps the value it was given";

    Click(dialog.BrowseButton());
    EXPECT_EQ(askedStart, "/home/presenter");
    EXPECT_EQ(askedFilter,
              "Audio&Video (*.avi *.rmvb *.rm *.flv *.mp4 *.mkv *.mov);;Images (*.jpg *.jpeg *.bmp *.png *.gif);;"
              "All Files (*)");
    EXPECT_FALSE(dialog.IsPicture());
    EXPECT_EQ(dialog.SliderLabel()->text(), "Volume:");
    for (int bit = 0; bit < CPicSettingDlg::kPlayBoxes; ++bit) EXPECT_TRUE(dialog.PlayBox(bit)->isEnabled());
    EXPECT_EQ(dialog.PlayFlags(), kPlayLoop | kPlayHideAtEnd);
    Click(dialog.PlayBox(0));
    Click(dialog.PlayBox(2));
    EXPECT_EQ(dialog.PlayFlags(), kPlayPauseWhenHidden | kPlayHideAtEnd);

    // The slider's positions: 216 pixels with a 16-pixel thumb, 200 steps.
    CSliderButton* slider = dialog.Slider();
    const int track = slider->width() - slider->Thumb()->width();
    slider->MoveThumbTo(track / 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Value() == 127; }, 5000)) << "dialog.Value()";
    slider->MoveThumbTo(track);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Value() == 255; }, 5000)) << "dialog.Value()";
    slider->MoveThumbTo(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Value() == 0; }, 5000)) << "dialog.Value()";

    dialog.PathEdit()->setText("logo.gif");
    EXPECT_TRUE(dialog.IsPicture());
    EXPECT_EQ(QtFileFilter(GetText(kTextMediaFileFilter)), askedFilter);
}

TEST(BorderSettings, WidthsBeyondAHundredPixelsAreRefusedAndEnterIsOk) {
    ui_test::UseLanguage("en");
    CBorderSettingDlg dialog(0x00123456, 4);
    dialog.show();
    EXPECT_EQ(dialog.WidthEdit()->text(), "4");
    dialog.WidthEdit()->setText("101");
    auto message = ConfirmNextMessage();
    Click(dialog.OkButton());
    EXPECT_EQ(*message, "Please enter an integer between 0 and 100.");
    EXPECT_TRUE(dialog.isVisible());
    dialog.WidthEdit()->setText("100");
    dialog.ColorButton()->ChooseAutomatic();
    QTest::keyClick(dialog.WidthEdit(), Qt::Key_Return);  // Enter is OK
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Width(), 100);
    EXPECT_EQ(dialog.Colour(), 0u) << "the automatic border colour";
}

TEST(CaptureDeviceSettings, FormatsComeFromTheDeviceAndTheControlsActOnTheRunningLayer) {
    ui_test::UseLanguage("cn");
    CQueueWindowTarget owner;
    CScene scene(&owner);
    auto* device = new CVideoDevice("Studio Cam", nullptr, 0, 1280, 720);
    device->frameRate = 15.0f;
    device->fourcc = kFourccYUY2;
    auto owned = std::make_unique<CDevLayer>("Studio Cam", device, ChromaOptions{0, 0x00FF00FF, 1000}, kFourccRV24);
    CDevLayer* layer = owned.get();
    LayerNode* node = scene.AdoptLayer(kLayerDevice, std::move(owned), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return scene.LayersTopFirst().size() == 1; }, 5000));

    const ScriptedV4l2 webcam = ScriptedV4l2::Webcam();
    std::vector<std::string> asked;
    CaptureFormatSource formats = [&](const std::string& name) {
        asked.push_back(name);
        return QueryCaptureFormats(std::cref(webcam));
    };
    CVideoDeviceSettingDlg dialog(&scene, node, layer, {"Other Cam", "Studio Cam"}, nullptr, formats);
    dialog.show();
    EXPECT_EQ(asked, std::vector<std::string>{"Studio Cam"});
    EXPECT_EQ(dialog.DeviceList()->CurrentText(), "Studio Cam");
    // The compressed format is left out: cameras are opened in YUY2 or RGB here.
    EXPECT_EQ(dialog.FormatList()->Items(),
              (QStringList{"默认选项", "分辨率:1280*720 帧率:30.00 YUY2", "分辨率:1280*720 帧率:15.00 YUY2",
                           "分辨率:640*480 帧率:30.00 YUY2"}));
    EXPECT_EQ(dialog.FormatList()->Current(), 2) << "the format the device runs in";

    // The similarity buttons stay within 0..1000; a typed value is stored as typed.
    Click(dialog.UpButton());
    EXPECT_EQ(layer->similarity.load(), 1000u);
    EXPECT_EQ(dialog.SimilarityEdit()->text(), "1000");
    QTest::keyClicks(dialog.SimilarityEdit(), "0");  // "10000" is five digits: the field takes four
    EXPECT_EQ(dialog.SimilarityEdit()->text(), "1000");
    dialog.SimilarityEdit()->clear();
    QTest::keyClicks(dialog.SimilarityEdit(), "0");
    Click(dialog.DownButton());
    EXPECT_EQ(layer->similarity.load(), 0u);
    dialog.SimilarityEdit()->clear();
    QTest::keyClicks(dialog.SimilarityEdit(), "1500");
    EXPECT_EQ(layer->similarity.load(), 1500u);
    Click(dialog.DownButton());
    EXPECT_EQ(layer->similarity.load(), 999u);

    // The key is switched by the composition thread; deinterlacing and the key colour at once.
    Click(dialog.ChromaKeyBox());
    ASSERT_TRUE(QTest::qWaitFor([&] { return layer->keyedImage.load() == uint8_t{1}; }, 5000))
        << "layer->keyedImage.load()";
    Click(dialog.DeinterlaceBox());
    EXPECT_EQ(device->deinterlace.load(), 1);
    dialog.KeyColorButton()->ChooseAutomatic();
    EXPECT_EQ(layer->keyColor.load(), 0x0000FF00u);

    // Cancel puts the running layer back as it was.
    Click(dialog.CancelButton());
    ASSERT_TRUE(QTest::qWaitFor([&] { return layer->keyedImage.load() == uint8_t{0}; }, 5000))
        << "layer->keyedImage.load()";
    EXPECT_EQ(device->deinterlace.load(), 0);
    EXPECT_EQ(layer->similarity.load(), 1000u);
    EXPECT_EQ(layer->keyColor.load(), 0x00FF00FFu);

    // Opened the main window's way, from the node and the registry: no such camera here, so only the
    // device's default is offered.
    CVideoDeviceSettingDlg fromNode(&scene, node, static_cast<CVideoDeviceList*>(nullptr));
    EXPECT_EQ(fromNode.DeviceList()->CurrentText(), "Studio Cam");
    EXPECT_EQ(fromNode.FormatList()->Items(), QStringList{"默认选项"});

    // Another device: its formats are asked for; its default is what it runs in.
    CVideoDeviceSettingDlg choose(&scene, node, layer, {"Other Cam", "Studio Cam"}, nullptr, formats);
    choose.show();
    choose.DeviceList()->Choose(0);
    EXPECT_EQ(asked.back(), "Other Cam");
    EXPECT_EQ(choose.FormatList()->Current(), 0);
    Click(choose.OkButton());
    ASSERT_EQ(choose.result(), QDialog::Accepted);
    EXPECT_EQ(choose.SourceName(), "Other Cam");
    EXPECT_EQ(choose.Options().width, 640);
    EXPECT_EQ(choose.Options().height, 480);
    EXPECT_FLOAT_EQ(choose.Options().frameRate, 30.0f);
    EXPECT_EQ(choose.Options().fourcc, kFourccYUY2);
    scene.Destroy();
}

TEST(ChoiceDialogs, ScreensCamerasAndTheExitChoiceReturnWhatWasPressed) {
    ui_test::UseLanguage("en");
    CScreenSettingDlg screens({{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}, {0, 1080, 1280, 1800}});
    screens.show();
    const std::vector<CImageButton*>& tiles = screens.Tiles()->Tiles();
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[2]->Id(), 102);
    EXPECT_EQ(screens.Index(), 0);
    Click(tiles[2]);
    EXPECT_EQ(screens.Index(), 2);
    EXPECT_TRUE(tiles[2]->Selected());
    EXPECT_FALSE(tiles[0]->Selected());

    CCameraSettingDlg cameras({"Integrated Camera: Integrated C", "USB Capture HDMI"});
    cameras.show();
    EXPECT_EQ(cameras.Name(), "Integrated Camera: Integrated C");
    Click(cameras.Tiles()->Tiles()[1]);
    EXPECT_EQ(cameras.Name(), "USB Capture HDMI");
    EXPECT_FALSE(cameras.Tiles()->Tiles()[0]->Selected());

    CExitDlg exit;
    exit.show();
    EXPECT_EQ(exit.Choice(), CExitDlg::Choice::kMinimise);
    Click(exit.QuitButton());
    EXPECT_EQ(exit.Choice(), CExitDlg::Choice::kQuit);
    EXPECT_FALSE(exit.MinimizeButton()->isChecked());
    Click(exit.CloseButton());
    EXPECT_EQ(exit.result(), QDialog::Rejected);
}

TEST(DialogOnItsOwn, OkSavesWhatTheDialogChangedAndCancelSavesNothing) {
    ui_test::UseLanguage("en");
    Studio studio;
    // No settings file yet: the stored scene is the default camera alone, so the text is a new source.
    WhenRunning<CTxtSettingDlg>([](CTxtSettingDlg* dialog) {
        dialog->TextEdit()->setPlainText("Live from the studio");
        Click(dialog->SpeedButton(1));
        Click(dialog->OkButton());
    });
    EXPECT_EQ(RunDialogOnItsOwn("text", &studio.context), 0);
    auto saved = studio.Reloaded();
    ASSERT_EQ(saved->Scenes.size(), 1u);
    const auto& records = saved->Scenes.front()->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->SourceName, "Integrated Camera");
    EXPECT_EQ(records[1]->type, kSourceText);
    EXPECT_EQ(records[1]->SourceName, "Live from the studio");
    EXPECT_EQ(records[1]->MoveSpeed, 1);

    // The stored camera's capture settings, its device absent.
    WhenRunning<CVideoDeviceSettingDlg>([](CVideoDeviceSettingDlg* dialog) {
        Click(dialog->ChromaKeyBox());
        Click(dialog->OkButton());
    });
    EXPECT_EQ(RunDialogOnItsOwn("capture", &studio.context), 0);
    saved = studio.Reloaded();
    EXPECT_EQ(saved->Scenes.front()->Records()[0]->ChromaKey, 1);
    EXPECT_EQ(saved->Scenes.front()->Records()[0]->SourceName, "Integrated Camera");

    // Cancel: the file stays as it was.
    studio.config->Bitrate = 5000;  // changed in memory only
    WhenRunning<CSysSettingDlg>([](CSysSettingDlg* dialog) { Click(dialog->CancelButton()); });
    EXPECT_EQ(RunDialogOnItsOwn("system", &studio.context), 0);
    EXPECT_NE(studio.Reloaded()->Bitrate, 5000);
    WhenRunning<CSysSettingDlg>([](CSysSettingDlg* dialog) { Click(dialog->OkButton()); });
    EXPECT_EQ(RunDialogOnItsOwn("system", &studio.context), 0);
    EXPECT_EQ(studio.Reloaded()->Bitrate, 5000);

    EXPECT_EQ(RunDialogOnItsOwn("settings", &studio.context), 2) << "not one of the dialogs";
    EXPECT_EQ(DialogNames().size(), 8u);
}

TEST(Screenshots, EveryDialogInBothLanguages) {
    for (const std::string code : {"en", "cn"}) {
        ui_test::UseLanguage(code);
        const QString suffix = "_" + QString::fromStdString(code);
        Studio studio;
        studio.config->DeinterlaceDevices = {"USB Capture HDMI"};
        CSysSettingDlg system(&studio.context);
        system.show();
        for (const auto page : {CSysSettingDlg::kVideoPage, CSysSettingDlg::kAudioPage, CSysSettingDlg::kOtherPage}) {
            system.ShowPage(page);
            const char* names[] = {"video", "audio", "other"};
            ui_test::SaveScreenshot(&system, QString("settings_system_%1").arg(names[page]) + suffix);
        }

        CTxtSettingDlg text("Brevacast — live tonight at 20:00", BoldStyle("DejaVu Sans", 0x00FFFFFF, 1, 1));
        text.show();
        ui_test::SaveScreenshot(&text, "settings_text" + suffix);

        CPicSettingDlg media("/home/presenter/Videos/interview-2024.mp4", 191, kPlayLoop | kPlayRestartWhenShown);
        media.show();
        ui_test::SaveScreenshot(&media, "settings_media" + suffix);
        CPicSettingDlg picture("/home/presenter/Pictures/logo.png", 255, 0);
        picture.show();
        ui_test::SaveScreenshot(&picture, "settings_picture" + suffix);

        CBorderSettingDlg border(0x00F99C3F, 4);
        border.show();
        ui_test::SaveScreenshot(&border, "settings_border" + suffix);

        auto* device = new CVideoDevice("Integrated Camera: Integrated C", nullptr, 0, 640, 480);
        device->frameRate = 30.0f;
        device->fourcc = kFourccYUY2;
        CDevLayer layer("Integrated Camera: Integrated C", device, ChromaOptions{1, 0x0000FF00, 120}, kFourccRV24);
        const ScriptedV4l2 webcam = ScriptedV4l2::Webcam();
        CVideoDeviceSettingDlg capture(
            nullptr, nullptr, &layer, {"Integrated Camera: Integrated C"}, nullptr,
            [&webcam](const std::string&) { return QueryCaptureFormats(std::cref(webcam)); });
        capture.show();
        ui_test::SaveScreenshot(&capture, "settings_capture" + suffix);

        CScreenSettingDlg screens({{0, 0, 1920, 1080}, {1920, 0, 4480, 1440}});
        screens.show();
        ui_test::SaveScreenshot(&screens, "settings_screen" + suffix);

        CCameraSettingDlg cameras({"Integrated Camera: Integrated C", "USB Capture HDMI", "Document Camera"});
        cameras.show();
        Click(cameras.Tiles()->Tiles()[1]);
        ui_test::SaveScreenshot(&cameras, "settings_camera" + suffix);

        CExitDlg exit;
        exit.show();
        ui_test::SaveScreenshot(&exit, "settings_exit" + suffix);
    }
}
