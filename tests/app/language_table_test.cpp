#include "app/language_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

namespace {

// The language is process-wide: every test chooses its own and leaves Chinese behind.
class LanguageTest : public ::testing::Test {
protected:
    void TearDown() override { SetLanguage("cn"); }
};

// Decodes UTF-8; false on a malformed sequence. Sets *has_cjk when a CJK ideograph or CJK punctuation
// (U+3000..U+9FFF, U+FF00..U+FFEF) occurs.
bool DecodeUtf8(const std::string& text, bool* has_cjk) {
    *has_cjk = false;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
        if (extra < 0 || i + extra >= text.size()) return false;
        uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cont & 0x3F);
        }
        if ((cp >= 0x3000 && cp <= 0x9FFF) || (cp >= 0xFF00 && cp <= 0xFFEF)) *has_cjk = true;
        i += extra + 1;
    }
    return true;
}

TEST_F(LanguageTest, BothTablesHoldEightyTextsAndNothingBeyond) {
    for (const char* code : {"cn", "en"}) {
        SetLanguage(code);
        for (int i = 0; i < kTextCount; ++i) EXPECT_FALSE(GetText(i).empty()) << code << " text " << i;
        EXPECT_EQ(kTextCount, 80);
        EXPECT_EQ(GetText(80), "");
        EXPECT_EQ(GetText(-1), "");
        EXPECT_EQ(GetText(INT_MAX), "");
        EXPECT_EQ(GetText(INT_MIN), "");
    }
}

// A row shifted or a column swapped while the tables were written shows up here: every Chinese entry
// has Chinese in it, no English entry does.
TEST_F(LanguageTest, EveryEntrySitsInTheRightLanguageAsValidUtf8) {
    bool has_cjk = false;
    SetLanguage("cn");
    for (int i = 0; i < kTextCount; ++i) {
        ASSERT_TRUE(DecodeUtf8(GetText(i), &has_cjk)) << "text " << i;
        EXPECT_TRUE(has_cjk) << "Chinese text " << i << ": " << GetText(i);
    }
    SetLanguage("en");
    for (int i = 0; i < kTextCount; ++i) {
        ASSERT_TRUE(DecodeUtf8(GetText(i), &has_cjk)) << "text " << i;
        EXPECT_FALSE(has_cjk) << "English text " << i << ": " << GetText(i);
    }
}

TEST_F(LanguageTest, EnglishCodeGivesTheEnglishTextsExactly) {
    SetLanguage("en");
    EXPECT_TRUE(IsEnglish());
    EXPECT_EQ(GetText(kTextLoginSuccessful), "Login Successful");
    EXPECT_EQ(GetText(kTextLoginWrongPassword), "Login failed. Username and password don't match.");
    EXPECT_EQ(GetText(kTextDeviceOpenFailed),
              "Filed to open the selected device, confirm that it is working properly and try again.");
    EXPECT_EQ(GetText(kTextServerKindUnsupported), "The current server dose not support this interface.");
    EXPECT_EQ(GetText(kTextHideWhenPlaybackEnds), "Hide source when \r\nplayback ends");
    EXPECT_EQ(GetText(kTextStopWhenHidden), "Stop playback \r\nwhen it's hided");
    EXPECT_EQ(GetText(kTextInfoFontFace), "Microsoft YaHei UI");
    EXPECT_EQ(GetText(kTextMediaFileFilter),
              "Audio&Video|*.avi;*.rmvb;*.rm;*.flv;*.mp4;*.mkv;*.mov|Images|*.jpg;*.jpeg;*.bmp;*.png;*.gif|All "
              "Files|*.*||");
    EXPECT_EQ(GetText(kTextPleaseWait), "Please wait...");
    EXPECT_EQ(GetAppTitle(), "Brevacast Streaming");
}

TEST_F(LanguageTest, ChineseCodeGivesTheChineseTextsExactly) {
    SetLanguage("en");
    SetLanguage("cn");
    EXPECT_FALSE(IsEnglish());
    EXPECT_EQ(GetText(kTextLoginSuccessful), "登录成功");
    EXPECT_EQ(GetText(kTextLoginWelcome), "登录成功,欢迎使用客户端");
    EXPECT_EQ(GetText(kTextStartLiveFailed), "启动直播失败，错误信息：");
    EXPECT_EQ(GetText(kTextHideWhenPlaybackEnds), "播放结束时自动隐藏");
    EXPECT_EQ(GetText(kTextSimilarityLabel), "相似度(0-1000)：");
    EXPECT_EQ(GetText(kTextSkinFontFace), "宋体");
    EXPECT_EQ(
        GetText(kTextMediaFileFilter),
        "音视频文件|*.avi;*.rmvb;*.rm;*.flv;*.mp4;*.mkv;*.mov|图片文件|*.jpg;*.jpeg;*.bmp;*.png;*.gif|所有文件|*.*||");
    EXPECT_EQ(GetText(kTextPleaseWait), "正在尝试登录，请稍等...");
    EXPECT_EQ(GetAppTitle(), "Brevacast直播");
}

TEST_F(LanguageTest, AnyOtherCodeGivesChineseAndAChineseTitle) {
    for (const char* code : {"EN", "en ", "fr", "", "english", "zh"}) {
        SetLanguage("en");
        SetLanguage(code);
        EXPECT_FALSE(IsEnglish()) << '"' << code << '"';
        EXPECT_EQ(GetText(kTextStopped), "停止") << '"' << code << '"';
        EXPECT_EQ(GetAppTitle(), "Brevacast直播") << '"' << code << '"';
    }
}

TEST_F(LanguageTest, FormatEntriesFillInAsTheDialogsShowThem) {
    char line[256];
    SetLanguage("en");
    std::snprintf(line, sizeof(line), GetText(kTextOutputInfo).c_str(), 1280, 720, 2944, 25);
    EXPECT_STREQ(line, "·Size:1280*720\r\n·BPS:2944kbps\r\n·FPS:25fps");
    std::snprintf(line, sizeof(line), GetText(kTextFormatRgb).c_str(), 640, 480, 29.97);
    EXPECT_STREQ(line, "Resolution:640*480 FPS:29.97 RGB");
    SetLanguage("cn");
    std::snprintf(line, sizeof(line), GetText(kTextFormatYuy2).c_str(), 1920, 1080, 30.0);
    EXPECT_STREQ(line, "分辨率:1920*1080 帧率:30.00 YUY2");
    std::snprintf(line, sizeof(line), GetText(kTextOutputInfo).c_str(), 1920, 1080, 3072, 25);
    EXPECT_STREQ(line, "·视频尺寸：1920*1080\r\n·视频码率：3072kbps\r\n·视频帧率：25fps");
}

TEST_F(LanguageTest, EngineStatesShowTheirStatusTexts) {
    SetLanguage("en");
    const struct {
        int state;
        const char* english;
    } shown[] = {{0, "Stopped"}, {3, "Preparing"},    {4, "Get configuration"},
                 {5, "Ready"},   {6, "Reconnecting"}, {8, "Stopping"}};
    for (const auto& s : shown) EXPECT_EQ(GetText(LiveStatusTextIndex(s.state)), s.english) << "state " << s.state;
    SetLanguage("cn");
    EXPECT_EQ(GetText(LiveStatusTextIndex(4)), "获取配置");
    EXPECT_EQ(GetText(LiveStatusTextIndex(6)), "正在重连");
    // Live states show the clock, a failed reconnection keeps what was shown, strangers show nothing.
    for (int state : {1, 2, 7, 9, -1, INT_MIN, INT_MAX}) EXPECT_EQ(LiveStatusTextIndex(state), -1) << state;
}

TEST_F(LanguageTest, StartFailureIsThePrefixFollowedDirectlyByTheEngineText) {
    const std::string engine_error = "连接推流服务器失败，请和管理员确认服务正常后重试！";
    SetLanguage("en");
    EXPECT_EQ(StartFailureText(engine_error), "Failed to start the live. Error:" + engine_error);
    SetLanguage("cn");
    EXPECT_EQ(StartFailureText(engine_error), "启动直播失败，错误信息：" + engine_error);
    EXPECT_EQ(StartFailureText(""), "启动直播失败，错误信息：");
}

TEST(LiveElapsedTime, ShowsHoursMinutesSecondsWithTwoDigitsAtLeast) {
    EXPECT_EQ(FormatLiveElapsed(0), "00:00:00");
    EXPECT_EQ(FormatLiveElapsed(999), "00:00:00");
    EXPECT_EQ(FormatLiveElapsed(1000), "00:00:01");
    EXPECT_EQ(FormatLiveElapsed(3723999), "01:02:03");
    EXPECT_EQ(FormatLiveElapsed(360000000), "100:00:00");
    EXPECT_EQ(FormatLiveElapsed(UINT32_MAX), "1193:02:47");
}

TEST(SkinFolder, EachLanguageCodeHasItsOwnFolderBelowTheProgram) {
    EXPECT_EQ(SkinDirectory("/opt/brevacast", "en"), "/opt/brevacast/en/skin");
    EXPECT_EQ(SkinDirectory("/opt/brevacast/", "cn"), "/opt/brevacast/cn/skin");
    EXPECT_EQ(SkinDirectory("/opt/brevacast", "de"), "/opt/brevacast/de/skin");
    EXPECT_EQ(LanguageDirectory("/opt/brevacast", "en"), "/opt/brevacast/en");
    EXPECT_EQ(SkinDirectory("", "en"), "en/skin");
}

TEST(SkinFolder, CodesThatAreNoFolderNameUseTheChineseFolder) {
    for (std::string code : {std::string(""), std::string("."), std::string(".."), std::string("../../etc"),
                             std::string("en/x"), std::string("e\0n", 3)}) {
        EXPECT_EQ(SkinDirectory("/opt/brevacast", code), "/opt/brevacast/cn/skin") << code;
    }
}

}  // namespace
