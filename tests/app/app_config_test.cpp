#include "app/app_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;
using LoadResult = AppConfig::LoadResult;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string WithRoot(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Config>" + body + "</Config>";
}

// Every field, so that a comparison failure shows which one differs.
std::string Dump(const SceneSource& r) {
    std::ostringstream o;
    o << "type=" << r.type << " rect=" << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom
      << " keep=" << r.KeepRatio << " name=" << r.SourceName << " di=" << +r.DeInterlace << " ck=" << +r.ChromaKey
      << " key=" << r.KeyColor << " sim=" << r.Similarity << " size=" << r.Width << "x" << r.Height
      << " fps=" << r.FrameRate << " fourcc=" << r.Fourcc << " face=" << r.FaceName << " rgb=" << r.rgbColor
      << " style=" << +r.Bold << +r.Italic << +r.UnderLine << +r.StrikeOut << +r.Hollow << " move=" << r.MoveSpeed
      << "/" << r.MoveDirection << " alpha=" << r.Alpha << " visible=" << +r.Visible << " vol=" << r.Volume
      << " play=" << r.PlayFlag << " border=" << r.BorderWidth << "/" << r.BorderColor << " scr=" << r.ScrIdx;
    return o.str();
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "appconfig-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "Config.xml").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    std::string path_;
};

// Sets an environment variable for one test and puts the old value back.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvOverride() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

using ConfigLoad = TempDir;
using ConfigSave = TempDir;
using ConfigRoundTrip = TempDir;
using ConfigBroken = TempDir;
using ConfigPath = TempDir;

TEST_F(ConfigLoad, MissingFileGivesDefaultsAndCameraScene) {
    AppConfig config(path_);
    EXPECT_EQ(config.LastLoadResult(), LoadResult::kMissing);
    EXPECT_EQ(config.ServerURL, "http://portal.brevacast.example/PortalService.asmx");
    EXPECT_EQ(config.FrameSizeCX, 1920);
    EXPECT_EQ(config.FrameSizeCY, 1080);
    EXPECT_EQ(config.Bitrate, 3072);
    EXPECT_EQ(config.Framerate, 25);
    EXPECT_EQ(config.KeyframeInterval, 3);
    EXPECT_EQ(config.SampleRate, 44100);
    EXPECT_FLOAT_EQ(config.MicGain, 0.5f);
    EXPECT_FLOAT_EQ(config.SpkGain, 0.2f);
    EXPECT_EQ(config.UseIpp, 0);
    EXPECT_EQ(config.CloseAero, 1);
    EXPECT_EQ(config.ShowCtrl, 1);
    EXPECT_EQ(config.Language, "cn");
    ASSERT_EQ(config.Scenes.size(), 1u);
    ASSERT_EQ(config.Scenes[0]->Records().size(), 1u);
    SceneSource camera;
    camera.type = kSourceDevice;
    camera.SourceName = "Integrated Camera";
    camera.Right = 1280;
    camera.Bottom = 720;
    camera.KeepRatio = 0;
    EXPECT_EQ(Dump(*config.Scenes[0]->Records()[0]), Dump(camera));
}

// Stands in for the hardware probe of the program and counts how often it is asked.
struct HardwareProbe {
    bool present = false;
    int asked = 0;
    std::function<bool()> Fn() {
        return [this] {
            ++asked;
            return present;
        };
    }
};

using ConfigHardwareDefault = TempDir;

TEST_F(ConfigHardwareDefault, FreshInstallUsesHardwareOnlyWhereTheMachineHasIt) {
    HardwareProbe with{true};
    EXPECT_EQ(AppConfig(path_, with.Fn()).UseIpp, 1);
    EXPECT_EQ(with.asked, 1);
    HardwareProbe without{false};
    EXPECT_EQ(AppConfig(path_, without.Fn()).UseIpp, 0);
    EXPECT_EQ(AppConfig(path_).UseIpp, 0);
}

TEST_F(ConfigHardwareDefault, StoredValueStandsWithoutAskingTheMachine) {
    HardwareProbe with{true};
    WriteFile(path_, WithRoot("<UseIpp>0</UseIpp>"));
    EXPECT_EQ(AppConfig(path_, with.Fn()).UseIpp, 0);
    HardwareProbe without{false};
    WriteFile(path_, WithRoot("<UseIpp>1</UseIpp>"));
    EXPECT_EQ(AppConfig(path_, without.Fn()).UseIpp, 1);
    EXPECT_EQ(with.asked + without.asked, 0);
}

TEST_F(ConfigHardwareDefault, FileWithoutTheSettingAsksTheMachine) {
    HardwareProbe with{true};
    WriteFile(path_, WithRoot("<Bitrate>2000</Bitrate>"));
    AppConfig config(path_, with.Fn());
    EXPECT_EQ(config.Bitrate, 2000);
    EXPECT_EQ(config.UseIpp, 1);
}

TEST_F(ConfigHardwareDefault, UnreadableFileFallsBackToTheMachine) {
    HardwareProbe with{true};
    WriteFile(path_, "<Config><UseIpp>0</Use");
    AppConfig config(path_, with.Fn());
    EXPECT_EQ(config.LastLoadResult(), LoadResult::kBrokenKeptAside);
    EXPECT_EQ(config.UseIpp, 1);
}

TEST_F(ConfigHardwareDefault, DefaultOnceSavedIsKeptWhenTheHardwareGoes) {
    HardwareProbe with{true};
    {
        AppConfig config(path_, with.Fn());
        ASSERT_TRUE(config.Save());
    }
    HardwareProbe without{false};
    EXPECT_EQ(AppConfig(path_, without.Fn()).UseIpp, 1);
    EXPECT_EQ(without.asked, 0);
}

TEST_F(ConfigSave, FirstSaveCreatesDirectoryAndFileWithDefaultScene) {
    const std::string nested = (dir_ / "home/.config/brevacast/Config.xml").string();
    SceneSource saved;
    {
        AppConfig config(nested);
        saved = *config.Scenes[0]->Records()[0];
        ASSERT_TRUE(config.Save());
    }
    AppConfig reloaded(nested);
    EXPECT_EQ(reloaded.LastLoadResult(), LoadResult::kLoaded);
    ASSERT_EQ(reloaded.Scenes.size(), 1u);
    ASSERT_EQ(reloaded.Scenes[0]->Records().size(), 1u);
    EXPECT_EQ(Dump(*reloaded.Scenes[0]->Records()[0]), Dump(saved));
}

TEST_F(ConfigLoad, EmptyConfigGivesDefaultsAndNoScenes) {
    WriteFile(path_, "<Config></Config>");
    AppConfig config(path_);
    EXPECT_EQ(config.LastLoadResult(), LoadResult::kLoaded);
    EXPECT_TRUE(config.Scenes.empty());
    EXPECT_EQ(config.Bitrate, 3072);
    EXPECT_EQ(config.Language, "cn");
}

TEST_F(ConfigLoad, FramerateAndSampleRateFromFileAreIgnored) {
    WriteFile(path_, WithRoot("<Framerate>60</Framerate><SampleRate>48000</SampleRate>"));
    AppConfig config(path_);
    EXPECT_EQ(config.Framerate, 25);
    EXPECT_EQ(config.SampleRate, 44100);
    ASSERT_TRUE(config.Save());
    const std::string raw = ReadFile(path_);
    EXPECT_NE(raw.find("<Framerate>25</Framerate>"), std::string::npos);
    EXPECT_NE(raw.find("<SampleRate>44100</SampleRate>"), std::string::npos);
}

TEST_F(ConfigLoad, BadFrameSizeFallsBackToDefaultPair) {
    const std::pair<std::string, std::string> bad[] = {{"0", "720"},    {"1281", "720"}, {"-1280", "720"},
                                                       {"5000", "720"}, {"abc", "720"},  {"1280", "4098"}};
    for (const auto& [cx, cy] : bad) {
        SCOPED_TRACE(cx + "x" + cy);
        WriteFile(path_, WithRoot("<FrameSizeCX>" + cx + "</FrameSizeCX><FrameSizeCY>" + cy + "</FrameSizeCY>"));
        AppConfig config(path_);
        EXPECT_EQ(config.FrameSizeCX, 1920);
        EXPECT_EQ(config.FrameSizeCY, 1080);
    }
    WriteFile(path_, WithRoot("<FrameSizeCX>4096</FrameSizeCX><FrameSizeCY>2</FrameSizeCY>"));
    AppConfig largest(path_);
    EXPECT_EQ(largest.FrameSizeCX, 4096);
    EXPECT_EQ(largest.FrameSizeCY, 2);
}

TEST_F(ConfigLoad, NumbersParseLikeHandEditedText) {
    const std::pair<std::string, int32_t> cases[] = {
        {"12abc", 12},
        {" -5", -5},
        {"\t\n+7", 7},
        {"", 0},
        {"x1", 0},
        {"99999999999999999999", -1},  // clamps to the 64-bit maximum, whose low 32 bits are all ones
        {"-99999999999999999999", 0},  // clamps to the 64-bit minimum, whose low 32 bits are zero
        {"4294967298", 2}};
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        WriteFile(path_, WithRoot("<Bitrate>" + text + "</Bitrate><UseIpp>257</UseIpp>"));
        AppConfig config(path_);
        EXPECT_EQ(config.Bitrate, expected);
        EXPECT_EQ(config.UseIpp, 1);
    }
    for (const char* text : {"abc", "nan", "inf", "-inf", "1e999", ""}) {
        SCOPED_TRACE(text);
        WriteFile(path_, WithRoot("<MicGain>"s + text + "</MicGain><SpkGain> +1.5e0</SpkGain>"));
        AppConfig config(path_);
        EXPECT_EQ(config.MicGain, 0.0f);
        EXPECT_EQ(config.SpkGain, 1.5f);
    }
}

class ConfigLocale : public TempDir {
protected:
    void TearDown() override {
        std::setlocale(LC_ALL, old_locale_.c_str());
        TempDir::TearDown();
    }
    const std::string old_locale_ = std::setlocale(LC_ALL, nullptr);
};

TEST_F(ConfigLocale, GainsIgnoreDecimalComma) {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 locale not available";
    char probe[16];
    std::snprintf(probe, sizeof(probe), "%.1f", 0.5);
    ASSERT_STREQ(probe, "0,5");  // the locale really is in force

    WriteFile(path_, WithRoot("<SpkGain>0.75</SpkGain>"));
    AppConfig config(path_);
    EXPECT_EQ(config.SpkGain, 0.75f);
    ASSERT_TRUE(config.Save());
    EXPECT_NE(ReadFile(path_).find("<MicGain>0.500000</MicGain><SpkGain>0.750000</SpkGain>"), std::string::npos);
}

TEST_F(ConfigRoundTrip, SpacesInSourceNameAreEncodedInTheFile) {
    {
        AppConfig config(path_);
        config.Scenes[0]->Records()[0]->SourceName = "My Cam  2";
        ASSERT_TRUE(config.Save());
    }
    EXPECT_NE(ReadFile(path_).find("<SourceName>My&amp;#x0020Cam&amp;#x0020&amp;#x00202</SourceName>"),
              std::string::npos);
    AppConfig reloaded(path_);
    EXPECT_EQ(reloaded.Scenes[0]->Records()[0]->SourceName, "My Cam  2");
}

TEST_F(ConfigRoundTrip, TextRecordStoresOnlyTextFields) {
    SceneSource text;
    text.type = kSourceText;
    text.SourceName = "Breaking news";
    text.FaceName = "Noto Sans";
    text.rgbColor = 0xFFFFFF;
    text.Bold = text.Hollow = 1;
    text.MoveSpeed = 3;
    text.MoveDirection = 1;
    {
        AppConfig config(path_);
        config.Scenes[0]->Clear();
        config.Scenes[0]->AddRecord(std::make_unique<SceneSource>(text));
        ASSERT_TRUE(config.Save());
    }
    const std::string raw = ReadFile(path_);
    for (const char* absent : {"<Alpha>", "<ScrIdx>", "<DeInterlace>", "<KeyColor>", "<FrameRate>", "<Volume>"}) {
        EXPECT_EQ(raw.find(absent), std::string::npos) << absent;
    }
    AppConfig reloaded(path_);
    EXPECT_EQ(Dump(*reloaded.Scenes[0]->Records()[0]), Dump(text));
}

TEST_F(ConfigSave, PasswordIsDroppedUnlessRemembered) {
    AppConfig config(path_);
    config.EncPassword = "c2VjcmV0";
    ASSERT_TRUE(config.Save());
    EXPECT_NE(ReadFile(path_).find("<EncPassword></EncPassword>"), std::string::npos);
    EXPECT_EQ(AppConfig(path_).EncPassword, "");
}

TEST_F(ConfigRoundTrip, EverySettingAndRecordFieldInFileOrder) {
    std::vector<SceneSource> records(5);
    SceneSource& picture = records[0];
    picture.type = kSourcePicture;
    picture.SourceName = "/img/logo 1.png";
    picture.Left = 10, picture.Top = 20, picture.Right = 330, picture.Bottom = 260;
    picture.Visible = 0, picture.BorderWidth = 2, picture.BorderColor = 0xFF0000FF, picture.Alpha = 128;
    SceneSource& device = records[1];
    device.type = kSourceDevice;
    device.SourceName = "USB Camera";
    device.Right = 720, device.Bottom = 405, device.KeepRatio = 0;
    device.DeInterlace = 1, device.ChromaKey = 1, device.KeyColor = 0xFF00FF00, device.Similarity = 3000000000u;
    device.Width = 1280, device.Height = 720, device.FrameRate = 29.97f, device.Fourcc = 0x32595559;
    SceneSource& text = records[2];
    text.type = kSourceText;
    text.SourceName = "直播测试 Live";
    text.FaceName = "直播测试";
    text.Top = 600, text.Right = 720, text.Bottom = 640, text.rgbColor = 0xFFFFFF;
    text.Bold = text.Italic = text.UnderLine = text.StrikeOut = text.Hollow = 1;
    text.MoveSpeed = 2, text.MoveDirection = 3;
    records[3].type = kSourceScreen;
    records[3].SourceName = "Screen";
    records[3].ScrIdx = 1;
    records[4].type = kSourceMedia;
    records[4].SourceName = "rtmp://x/live";
    records[4].Volume = 80, records[4].PlayFlag = 1;
    {
        AppConfig config(path_);
        config.ServerURL = "http://h.test/s?a=1&b=2";
        config.Account = "直播测试";
        config.EncPassword = "c2VjcmV0";
        config.AutoPWD = config.AutoLogon = 1;
        config.ShowCtrl = config.CloseAero = 0;
        config.LocalSaveFolder = "/srv/录像";
        config.FrameSizeCX = 1280;
        config.FrameSizeCY = 720;
        config.Bitrate = 2048;
        config.Framerate = 30;
        config.KeyframeInterval = 5;
        config.UseIpp = 1;
        config.SampleRate = 48000;
        config.LastAction = 3;
        config.Language = "en";
        config.MicAudioDevice = "USB Mic <front>";
        config.SpkAudioDevice = "HDMI 1";
        config.MicGain = 0.75f;
        config.SpkGain = 1.25f;
        config.Scenes.clear();
        config.Scenes.push_back(std::make_unique<CSceneBase>());
        for (const SceneSource& r : records) config.Scenes[0]->AddRecord(std::make_unique<SceneSource>(r));
        config.Scenes.push_back(std::make_unique<CSceneBase>());
        ASSERT_TRUE(config.Save());
    }
    const std::string common_tail =
        "<KeepRatio>1</KeepRatio><Visible>1</Visible><BorderWidth>0</BorderWidth>"
        "<BorderColor>0</BorderColor>";
    EXPECT_EQ(ReadFile(path_),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Config><ServerURL>http://h.test/s?a=1&amp;b=2</ServerURL>"
              "<Account>直播测试</Account><EncPassword>c2VjcmV0</EncPassword><AutoPWD>1</AutoPWD>"
              "<AutoLogon>1</AutoLogon><ShowCtrl>0</ShowCtrl><LocalSaveFolder>/srv/录像</LocalSaveFolder>"
              "<FrameSizeCX>1280</FrameSizeCX><FrameSizeCY>720</FrameSizeCY><Bitrate>2048</Bitrate>"
              "<Framerate>30</Framerate><KeyframeInterval>5</KeyframeInterval><UseIpp>1</UseIpp>"
              "<CloseAero>0</CloseAero><SampleRate>48000</SampleRate><LastAction>3</LastAction>"
              "<Language>en</Language><MicAudioDevice>USB Mic &lt;front&gt;</MicAudioDevice>"
              "<SpkAudioDevice>HDMI 1</SpkAudioDevice><MicGain>0.750000</MicGain><SpkGain>1.250000</SpkGain>"
              "<Scene><SceneSource><type>0</type><SourceName>/img/logo&amp;#x00201.png</SourceName><Left>10</Left>"
              "<Top>20</Top><Right>330</Right><Bottom>260</Bottom><KeepRatio>1</KeepRatio><Visible>0</Visible>"
              "<BorderWidth>2</BorderWidth><BorderColor>-16776961</BorderColor><Alpha>128</Alpha></SceneSource>"
              "<SceneSource><type>1</type><SourceName>USB&amp;#x0020Camera</SourceName><Left>0</Left><Top>0</Top>"
              "<Right>720</Right><Bottom>405</Bottom><KeepRatio>0</KeepRatio><Visible>1</Visible>"
              "<BorderWidth>0</BorderWidth><BorderColor>0</BorderColor><DeInterlace>1</DeInterlace>"
              "<ChromaKey>1</ChromaKey><KeyColor>-16711936</KeyColor><Similarity>3000000000</Similarity>"
              "<Width>1280</Width><Height>720</Height><FrameRate>29.969999</FrameRate><Fourcc>844715353</Fourcc>"
              "</SceneSource><SceneSource><type>2</type><SourceName>直播测试&amp;#x0020Live</SourceName>"
              "<Left>0</Left><Top>600</Top><Right>720</Right><Bottom>640</Bottom>" +
                  common_tail +
                  "<FaceName>直播测试</FaceName><rgbColor>16777215</rgbColor><Bold>1</Bold><Italic>1</Italic>"
                  "<UnderLine>1</UnderLine><StrikeOut>1</StrikeOut><Hollow>1</Hollow><MoveSpeed>2</MoveSpeed>"
                  "<MoveDirection>3</MoveDirection></SceneSource><SceneSource><type>3</type>"
                  "<SourceName>Screen</SourceName><Left>0</Left><Top>0</Top><Right>0</Right><Bottom>0</Bottom>" +
                  common_tail +
                  "<ScrIdx>1</ScrIdx></SceneSource><SceneSource><type>4</type><SourceName>rtmp://x/live</SourceName>"
                  "<Left>0</Left><Top>0</Top><Right>0</Right><Bottom>0</Bottom>" +
                  common_tail +
                  "<Volume>80</Volume><PlayFlag>1</PlayFlag></SceneSource></Scene><Scene></Scene></Config>");

    AppConfig loaded(path_);
    EXPECT_EQ(loaded.ServerURL, "http://h.test/s?a=1&b=2");
    EXPECT_EQ(loaded.Account, "直播测试");
    EXPECT_EQ(loaded.EncPassword, "c2VjcmV0");
    EXPECT_EQ(loaded.AutoPWD, 1);
    EXPECT_EQ(loaded.AutoLogon, 1);
    EXPECT_EQ(loaded.ShowCtrl, 0);
    EXPECT_EQ(loaded.LocalSaveFolder, "/srv/录像");
    EXPECT_EQ(loaded.FrameSizeCX, 1280);
    EXPECT_EQ(loaded.FrameSizeCY, 720);
    EXPECT_EQ(loaded.Bitrate, 2048);
    EXPECT_EQ(loaded.KeyframeInterval, 5);
    EXPECT_EQ(loaded.UseIpp, 1);
    EXPECT_EQ(loaded.CloseAero, 0);
    EXPECT_EQ(loaded.LastAction, 3);
    EXPECT_EQ(loaded.Language, "en");
    EXPECT_EQ(loaded.MicAudioDevice, "USB Mic <front>");
    EXPECT_EQ(loaded.SpkAudioDevice, "HDMI 1");
    EXPECT_EQ(loaded.MicGain, 0.75f);
    EXPECT_EQ(loaded.SpkGain, 1.25f);
    ASSERT_EQ(loaded.Scenes.size(), 2u);
    EXPECT_TRUE(loaded.Scenes[1]->Records().empty());
    ASSERT_EQ(loaded.Scenes[0]->Records().size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(Dump(*loaded.Scenes[0]->Records()[i]), Dump(records[i]));
    }
}

TEST_F(ConfigBroken, UnreadableFileIsKeptAsideByteForByte) {
    const std::string contents[] = {
        WithRoot("<Account>a</Account><Scene><SceneSource><type>1</ty"),
        "\x89PNG\r\n\x1a\n\0\0\xff\xfe garbage"s,
        "",
        "<?xml version=\"1.0\"?><Settings><Account>a</Account></Settings>",
    };
    for (const std::string& bytes : contents) {
        SCOPED_TRACE(bytes);
        WriteFile(path_, bytes);
        AppConfig config(path_);
        EXPECT_EQ(config.LastLoadResult(), LoadResult::kBrokenKeptAside);
        EXPECT_EQ(config.KeptAsidePath().rfind(path_ + ".broken-", 0), 0u) << config.KeptAsidePath();
        EXPECT_EQ(ReadFile(config.KeptAsidePath()), bytes);
        EXPECT_FALSE(fs::exists(path_));
        EXPECT_EQ(config.Account, "");
        EXPECT_EQ(config.Scenes.size(), 1u);
        ASSERT_TRUE(config.Save());
        EXPECT_EQ(AppConfig(path_).LastLoadResult(), LoadResult::kLoaded);
        EXPECT_EQ(ReadFile(config.KeptAsidePath()), bytes);
        fs::remove(path_);
    }
    // All four copies survive, each under its own name.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 4);
}

TEST_F(ConfigBroken, FileThatCannotBeMovedIsNeverSavedOver) {
    // A pipe is not read (it could block start-up) nor moved, and a rename would happily replace it.
    ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
    AppConfig config(path_);
    EXPECT_EQ(config.LastLoadResult(), LoadResult::kBrokenNotMoved);
    EXPECT_EQ(config.Scenes.size(), 1u);
    EXPECT_FALSE(config.Save());
    EXPECT_TRUE(fs::is_fifo(path_));
}

TEST_F(ConfigSave, LeavesOnlyThePrivateFinishedFile) {
    AppConfig config(path_);
    ASSERT_TRUE(config.Save());
    ASSERT_TRUE(config.Save());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // it may hold the password
}

TEST_F(ConfigSave, FailedWriteLeavesOldFileIntact) {
    const std::string old = WithRoot("<Account>old</Account>");
    WriteFile(path_, old);
    AppConfig config(path_);
    config.Account = "new";
    // Occupy the temporary name with a directory so that the write fails even for root.
    fs::create_directories(path_ + ".tmp-" + std::to_string(getpid()) + "/x");
    EXPECT_FALSE(config.Save());
    EXPECT_EQ(ReadFile(path_), old);
}

TEST_F(ConfigSave, UnwritableLocationReportsFailure) {
    WriteFile(dir_ / "file", "x");
    AppConfig config((dir_ / "file/Config.xml").string());
    EXPECT_EQ(config.LastLoadResult(), LoadResult::kMissing);
    EXPECT_FALSE(config.Save());
    EXPECT_EQ(ReadFile(dir_ / "file"), "x");
}

TEST_F(ConfigSave, SymlinkedFileIsUpdatedThroughTheLink) {
    const fs::path real = dir_ / "dotfiles-Config.xml";
    WriteFile(real, WithRoot(""));
    fs::create_symlink(real, path_);
    AppConfig config(path_);
    config.Account = "linked";
    ASSERT_TRUE(config.Save());
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(AppConfig(real.string()).Account, "linked");
}

TEST(ConfigPresets, SmallestFirst) {
    AppConfig config("/nonexistent-dir/Config.xml");
    const char* labels[] = {"640x360 360P", "640x480 VGA",   "720x480 480P",   "768x576 HDTV",
                            "1024x768 XGA", "1280x720 720P", "1920x1080 1080P"};
    ASSERT_EQ(config.Presets.size(), 7u);
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(config.Presets[i].label, labels[i]);
    EXPECT_EQ(config.Presets.front().width, 640);
    EXPECT_EQ(config.Presets.front().height, 360);
    EXPECT_EQ(config.Presets.back().width, 1920);
    EXPECT_EQ(config.Presets.back().height, 1080);
}

TEST_F(ConfigPath, FollowsHomeAndXdg) {
    EnvOverride home("HOME", "/home/tester");
    {
        EnvOverride xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(AppConfig::DefaultConfigPath("/nonexistent-dir"), "/home/tester/.config/brevacast/Config.xml");
        EXPECT_EQ(AppConfig(path_).LocalSaveFolder, "/home/tester/Videos/Brevacast");
    }
    EnvOverride xdg("XDG_CONFIG_HOME", "/xdg");
    EXPECT_EQ(AppConfig::DefaultConfigPath("/nonexistent-dir"), "/xdg/brevacast/Config.xml");
    EXPECT_EQ(AppConfig::DefaultConfigPath(dir_.string()), dir_.string() + "/Config.xml");
    // An installed program's folder keeps no settings, even where the user may write into it.
    fs::create_directories(dir_ / "prefix/bin");
    fs::create_directories(dir_ / "prefix/share/brevacast/en/skin");
    EXPECT_EQ(AppConfig::DefaultConfigPath((dir_ / "prefix/bin").string()), "/xdg/brevacast/Config.xml");
    EXPECT_TRUE(fs::exists(AppConfig::ExecutableDir() + "/app_tests"));
}

}  // namespace
