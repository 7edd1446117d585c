// The skinned building blocks every window is made of: which image a button shows in each state,
// the text colours, the pop-up panels' pointer timer, the slider's values and the message box's
// answer. Rendered offscreen from the skins the painter drew; screenshots for a person to look at.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/language_table.h"
#include "platform/queue_window_target.h"
#include "tests/ui/ui_test_support.h"
#include "ui/image_button.h"
#include "ui/img_txt_button.h"
#include "ui/list_button.h"
#include "ui/msg_panel.h"
#include "ui/popup_panel.h"
#include "ui/skin_color_button.h"
#include "ui/slider_button.h"

using ui_test::RenderAlone;
using ui_test::SkinImage;

namespace {

void Hover(QWidget* widget, bool on) {
    if (on) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(widget, &leave);
    }
}

// Pixels of a clearly blue hue (the hot text colour), as opposed to the grey of normal text and icons.
int BluePixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            if (c.alpha() > 128 && c.blue() > c.red() + 60) ++count;
        }
    return count;
}

// Clicks a button of the message box once it runs.
void ClickWhenShown(CImageButton* (CMsgPanel::*button)() const) {
    QTimer::singleShot(0, [button] {
        auto* panel = dynamic_cast<CMsgPanel*>(QApplication::activeModalWidget());
        ASSERT_NE(panel, nullptr);
        QTest::mouseClick((panel->*button)(), Qt::LeftButton);
    });
}

}  // namespace

TEST(SkinnedButtons, EachStateDrawsTheImageTheRulesChoose) {
    ui_test::UseLanguage("en");
    CImageButton camera("camera", 1003);
    EXPECT_EQ(camera.size(), SkinImage("camera").size());
    EXPECT_EQ(RenderAlone(&camera), SkinImage("camera"));
    Hover(&camera, true);
    EXPECT_EQ(RenderAlone(&camera), SkinImage("camera_o"));
    camera.SetSelected(true);  // the selected look wins over the hover
    EXPECT_EQ(RenderAlone(&camera), SkinImage("camera_s"));
    camera.setEnabled(false);
    EXPECT_EQ(RenderAlone(&camera), SkinImage("camera_d"));
    Hover(&camera, false);
    camera.setEnabled(true);
    camera.SetSelected(false);
    EXPECT_EQ(RenderAlone(&camera), SkinImage("camera"));

    // No disabled image: a disabled button shows its selected image when selected, else its normal one.
    CImageButton row("layerrow", 0);
    row.SetSelected(true);
    row.setEnabled(false);
    EXPECT_EQ(RenderAlone(&row), SkinImage("layerrow_s"));
    row.SetSelected(false);
    EXPECT_EQ(RenderAlone(&row), SkinImage("layerrow"));

    // No hover image: the normal image stays under the pointer.
    CImageButton portrait("portrait", 0);
    Hover(&portrait, true);
    EXPECT_TRUE(portrait.Hovered());
    EXPECT_EQ(RenderAlone(&portrait), SkinImage("portrait"));

    // Start/stop: the selected flag picks the look, each with its hover; disabled looks the same.
    CDblImgButton start("start", "stop", 1005);
    EXPECT_EQ(RenderAlone(&start), SkinImage("start"));
    Hover(&start, true);
    EXPECT_EQ(RenderAlone(&start), SkinImage("start_o"));
    start.SetSelected(true);
    EXPECT_EQ(RenderAlone(&start), SkinImage("stop_o"));
    Hover(&start, false);
    start.setEnabled(false);
    EXPECT_EQ(RenderAlone(&start), SkinImage("stop"));
}

TEST(SkinnedButtons, TextIsHotWhileHoveredOrSelectedAndGreyOtherwise) {
    ui_test::UseLanguage("en");
    CImgTxtButton screen("screen", UiText(kTextScreen), 1000);
    screen.SetTextIndent(35);
    const QRect textArea(40, 0, screen.width() - 45, screen.height());
    EXPECT_EQ(BluePixels(RenderAlone(&screen), textArea), 0);
    Hover(&screen, true);
    EXPECT_GT(BluePixels(RenderAlone(&screen), textArea), 10);
    Hover(&screen, false);
    screen.SetSelected(true);
    EXPECT_GT(BluePixels(RenderAlone(&screen), textArea), 10);
}

TEST(PopupPanel, StaysWhileThePointerIsInsideAndHidesAtTheFirstTickOutside) {
    ui_test::UseLanguage("en");
    QWidget owner;
    CPopupPanel panel("logoff_bg", &owner);
    QSignalSpy ticks(&panel.PointerTimer(), &QTimer::timeout);
    panel.ShowAt(QPoint(200, 200));
    QCursor::setPos(QPoint(210, 210));
    EXPECT_EQ(panel.PointerTimer().interval(), 500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 2; }, 5000));
    EXPECT_TRUE(panel.isVisible());

    QCursor::setPos(QPoint(20, 20));
    const qsizetype ticksWhileInside = ticks.count();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.isVisible(); }, 5000));
    EXPECT_EQ(ticks.count(), ticksWhileInside + 1) << "hidden at the first tick with the pointer outside";
    EXPECT_FALSE(panel.PointerTimer().isActive());
}

TEST(SliderButton, InterpolatesThePositionIntoItsRangeAndReportsEveryChange) {
    ui_test::UseLanguage("en");
    CQueueWindowTarget owner;
    QWidget window;
    CSliderButton slider(CSliderButton::Orientation::kHorizontal, 0, 100, false, &owner, &window);
    slider.setGeometry(0, 0, 216, 20);  // a 16-pixel thumb: 200 positions
    window.show();
    ThreadMessage first;
    ASSERT_TRUE(owner.Take(&first, std::chrono::milliseconds(0)));
    EXPECT_EQ(first.code, WM_SLIDER_CHANGED);
    EXPECT_EQ(first.lParam, -1) << "the first placement is not a value";

    slider.MoveThumbTo(100);
    EXPECT_EQ(slider.Value(), 50);
    EXPECT_EQ(SliderPercentToByte(slider.Value()), 127);
    slider.MoveThumbTo(900);  // clamped to the track's end
    EXPECT_EQ(slider.ThumbPosition(), 200);
    EXPECT_EQ(SliderPercentToByte(slider.Value()), 255);
    ThreadMessage m;
    ASSERT_TRUE(owner.Take(&m, std::chrono::milliseconds(0)));
    EXPECT_EQ(m.lParam, 50);
    ASSERT_TRUE(owner.Take(&m, std::chrono::milliseconds(0)));
    EXPECT_EQ(m.wParam, 208u) << "the thumb's centre";
    EXPECT_EQ(m.lParam, 100);

    // A volume slider: minimum at the bottom.
    CSliderButton volume(CSliderButton::Orientation::kVertical, 0, 255, true, &owner, &window);
    volume.setGeometry(0, 30, 20, 126);  // 110 positions
    volume.show();
    volume.MoveThumbTo(0);  // where the first placement put it: not a change
    EXPECT_EQ(volume.Value(), -1);
    volume.MoveThumbTo(110);
    EXPECT_EQ(volume.Value(), 0);
    volume.MoveThumbTo(0);
    EXPECT_EQ(volume.Value(), 255);
    volume.SetValue(128);
    EXPECT_EQ(volume.ThumbPosition(), 110 - 128 * 110 / 255);
    EXPECT_EQ(volume.Value(), 128);
    volume.SetValue(300);  // outside the range: ignored
    EXPECT_EQ(volume.Value(), 128);
}

TEST(MessageBox, ShowMessageIsTrueOnlyWhenTheUserConfirmsWithOk) {
    ui_test::UseLanguage("en");
    ClickWhenShown(&CMsgPanel::OkButton);
    EXPECT_TRUE(ShowMessage(UiText(kTextLiveInProgress), true));
    ClickWhenShown(&CMsgPanel::CancelButton);
    EXPECT_FALSE(ShowMessage(UiText(kTextLiveInProgress), true));
    ClickWhenShown(&CMsgPanel::CloseButton);
    EXPECT_FALSE(ShowMessage(UiText(kTextLiveInProgress)));
    CMsgPanel okOnly(UiText(kTextNoDevice), false);
    EXPECT_EQ(okOnly.CancelButton(), nullptr);
}

TEST(Screenshots, MessageBoxAndButtonRowInBothLanguages) {
    for (const std::string code : {"en", "cn"}) {
        ui_test::UseLanguage(code);
        const QString suffix = QString::fromStdString(code);
        CMsgPanel message(UiText(kTextLiveInProgress), true);
        message.show();
        ui_test::SaveScreenshot(&message, "message_box_" + suffix);

        QWidget row;
        row.setStyleSheet("background: #1B1E25;");
        row.setAutoFillBackground(true);
        auto* layout = new QHBoxLayout(&row);
        const int sources[] = {kTextScreen, kTextAudioVideo, kTextText, kTextCamera};
        const char* images[] = {"screen", "image", "font", "camera"};
        for (int i = 0; i < 4; ++i) {
            auto* button = new CImgTxtButton(images[i], UiText(sources[i]), 1000 + i, &row);
            button->SetTextIndent(35);
            if (i == 1) button->SetSelected(true);
            layout->addWidget(button);
        }
        layout->addWidget(new CDblImgButton("start", "stop", 1005, &row));
        auto* record = new CImageButton("record", 1008, &row);
        record->SetSelected(true);
        layout->addWidget(record);
        layout->addWidget(new CImageButton("mic", 1006, &row));
        auto* list = new CListButton(1083, 160, &row);
        list->SetItems({"1920*1080", "1280*720"});
        list->SetCurrent(1);
        layout->addWidget(list);
        auto* colour = new CSkinColorButton(1001, 0x00F99C3F, &row);
        layout->addWidget(colour);
        layout->addWidget(new CImageButton("ok", 1, &row));
        layout->addWidget(new CImageButton("cancel", 2, &row));
        row.show();
        ui_test::SaveScreenshot(&row, "button_row_" + suffix);
        EXPECT_FALSE(QImage(ui_test::ScreenshotPath("button_row_" + suffix)).isNull());
    }
}

TEST(Languages, TextsAndSkinFoldersFollowTheLanguageCode) {
    ui_test::UseLanguage("en");
    EXPECT_EQ(UiText(kTextExit), "Exit");
    EXPECT_TRUE(QString::fromStdString(CSkin::Current().SkinFolder()).endsWith("/en/skin"));
    const QImage englishLogon = SkinImage("logon");
    ASSERT_FALSE(englishLogon.isNull());

    ui_test::UseLanguage("cn");
    EXPECT_EQ(UiText(kTextExit), QString::fromUtf8("退出程序"));
    EXPECT_TRUE(QString::fromStdString(CSkin::Current().SkinFolder()).endsWith("/cn/skin"));
    EXPECT_NE(SkinImage("logon"), englishLogon) << "the button's words are Chinese";

    // Another code: Chinese texts, and a skin folder of that name (none here, so no images).
    ui_test::UseLanguage("fr");
    EXPECT_EQ(UiText(kTextExit), QString::fromUtf8("退出程序"));
    EXPECT_TRUE(QString::fromStdString(CSkin::Current().SkinFolder()).endsWith("/fr/skin"));
    EXPECT_FALSE(CSkin::Current().Has("logon"));
    ui_test::UseLanguage("en");
}
