// A first session with the studio as a user has it, from the package installed into a clean prefix,
// on a private X server with a notification area, driven only by pointer clicks and keys (xdotool) on
// the real windows: the first start shows the logon window; Offline opens the main window; a caption is
// added, a live runs for ten seconds and stops; the recording plays and shows the caption; quit; a
// second start shows the caption again where it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/child_process.h"
#include "tools/peers/xvfb_server.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

class UserSession : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/bv-user-session-XXXXXX";
        dir_ = mkdtemp(pattern);
        fs::create_directories(dir_ + "/home");
        fs::create_directories(dir_ + "/run");
        fs::permissions(dir_ + "/run", fs::perms::owner_all);
        fs::create_directories(shots_);
        ASSERT_EQ(Run("'" CMAKE_COMMAND "' --install '" BUILD_DIR "' --prefix '" + dir_ + "/prefix' > '" + dir_ +
                      "/install.log' 2>&1"),
                  0)
            << "cmake --install failed";
        program_ = dir_ + "/prefix/bin/brevacastpc";
        ASSERT_TRUE(fs::exists(program_));
        ASSERT_TRUE(xvfb_.Start(1280, 720));
        trayer_ = std::make_unique<CChildProcess>(
            std::vector<std::string>{"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                                     "--width", "64", "--height", "32", "--SetDockType", "true"},
            std::vector<std::string>{"DISPLAY=" + xvfb_.Display()});
    }
    void TearDown() override {
        trayer_.reset();
        xvfb_.Stop();
        if (std::getenv("BV_KEEP_TEST_FILES") == nullptr) fs::remove_all(dir_);
    }

    int Run(const std::string& command) { return std::system(command.c_str()); }
    // A command's output, run on the private X server.
    std::string Capture(const std::string& command) { return ::Capture("DISPLAY=" + xvfb_.Display() + " " + command); }
    std::unique_ptr<CChildProcess> StartProgram() {
        return std::make_unique<CChildProcess>(
            std::vector<std::string>{program_},
            std::vector<std::string>{"DISPLAY=" + xvfb_.Display(), "HOME=" + dir_ + "/home",
                                     "XDG_CONFIG_HOME=" + dir_ + "/home/.config", "XDG_RUNTIME_DIR=" + dir_ + "/run",
                                     "BREVACAST_LOG=info"},
            true);
    }
    // The program's visible window of this size, waiting for it to appear.
    bool FindWindow(int width, int height, Geometry* found, std::chrono::milliseconds timeout = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            std::istringstream ids(Capture("xdotool search --onlyvisible --classname brevacastpc 2>/dev/null"));
            std::string id;
            while (ids >> id) {
                const std::string text = Capture("xdotool getwindowgeometry " + id);
                std::smatch m;
                if (std::regex_search(text, m, std::regex(R"(Position: (\d+),(\d+).*\n.*Geometry: (\d+)x(\d+))")) &&
                    std::stoi(m[3]) == width && std::stoi(m[4]) == height) {
                    *found = {std::stoi(m[1]), std::stoi(m[2]), width, height};
                    return true;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    void Click(const Geometry& window, int x, int y) {
        Run("DISPLAY=" + xvfb_.Display() + " xdotool mousemove " + std::to_string(window.x + x) + " " +
            std::to_string(window.y + y) + " click 1");
        std::this_thread::sleep_for(300ms);
    }
    void Type(const std::string& text) {
        Run("DISPLAY=" + xvfb_.Display() + " xdotool type --delay 30 '" + text + "'");
    }
    // A screenshot of a window, kept for a person to look at.
    void Shoot(const Geometry& window, const std::string& name) {
        Run("ffmpeg -v error -y -f x11grab -video_size " + std::to_string(window.width) + "x" +
            std::to_string(window.height) + " -i '" + xvfb_.Display() + "+" + std::to_string(window.x) + "," +
            std::to_string(window.y) + "' -frames:v 1 '" + shots_ + "/" + name + ".png'");
    }
    // Pixels brighter than every channel's 200 in a region of the screen (the caption is white on black).
    int BrightScreenPixels(int x, int y, int width, int height) {
        const std::string raw =
            Capture("ffmpeg -v error -f x11grab -video_size " + std::to_string(width) + "x" + std::to_string(height) +
                    " -i '" + xvfb_.Display() + "+" + std::to_string(x) + "," + std::to_string(y) +
                    "' -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
        int bright = 0;
        for (unsigned char c : raw) bright += c > 200;
        return bright;
    }
    // An installed studio keeps its settings in the user's folder, never beside the program.
    std::string ConfigPath() const { return dir_ + "/home/.config/brevacast/Config.xml"; }
    std::string ConfigText() {
        std::stringstream text;
        text << std::ifstream(ConfigPath()).rdbuf();
        return text.str();
    }

    std::string dir_;
    std::string shots_ = SCREENSHOT_DIR;
    std::string program_;
    CXvfbServer xvfb_;
    std::unique_ptr<CChildProcess> trayer_;
};

// Where things are in the windows (their own layouts).
constexpr int kLogonWidth = 380, kLogonHeight = 500;
constexpr int kOfflineX = 80, kOfflineY = 455;
constexpr int kMainWidth = 941, kMainHeight = 573;  // 1920x1080 output, sources panel shown
constexpr int kTextButtonX = 12 + 2 * 124 + 60, kTextButtonY = 56 + 405 + 48 + 32;
constexpr int kStartX = 721 - 12 - 66, kStartY = 56 + 405 + 24;
constexpr int kCloseX = 721 - 10 - 16, kCloseY = 28;
constexpr int kTextDialogWidth = 540, kTextDialogHeight = 420;
constexpr int kExitWidth = 380, kExitHeight = 220;

}  // namespace

TEST_F(UserSession, FirstStartOfflineCaptionLiveRecordingQuitAndTheCaptionBackAtTheNextStart) {
    // The first start: no settings yet, the logon window.
    auto program = StartProgram();
    ASSERT_TRUE(program->WaitForLine("logon window shown", 30s)) << program->Output();
    EXPECT_FALSE(fs::exists(ConfigPath()));
    Geometry logon;
    ASSERT_TRUE(FindWindow(kLogonWidth, kLogonHeight, &logon));
    Shoot(logon, "session_1_logon");
    Click(logon, kOfflineX, kOfflineY);
    ASSERT_TRUE(program->WaitForLine("main window shown", 30s)) << program->Output();
    Geometry main;
    ASSERT_TRUE(FindWindow(kMainWidth, kMainHeight, &main));

    // A caption through the text button and its dialog.
    Click(main, kTextButtonX, kTextButtonY);
    Geometry text;
    ASSERT_TRUE(FindWindow(kTextDialogWidth, kTextDialogHeight, &text));
    Type("Good evening from the studio");
    Shoot(text, "session_2_text_dialog");
    Click(text, kTextDialogWidth - 64, kTextDialogHeight - 33);
    std::this_thread::sleep_for(1s);
    Shoot(main, "session_3_main_idle");

    // Ten seconds live (no server: the live records), then stop.
    Click(main, kStartX, kStartY);
    std::this_thread::sleep_for(10s);
    Shoot(main, "session_4_main_live");
    Click(main, kStartX, kStartY);

    // The recording plays and shows the caption.
    std::string recording;
    for (int i = 0; i < 100 && recording.empty(); ++i) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(dir_ + "/home/Videos/Brevacast", error), end; !error && it != end;
             it.increment(error))
            if (it->path().extension() == ".mp4" && !fs::exists(it->path().string() + ".part")) recording = it->path();
        if (recording.empty()) std::this_thread::sleep_for(200ms);
    }
    ASSERT_FALSE(recording.empty()) << program->Output();
    const std::string duration =
        Capture("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + recording + "'");
    EXPECT_GT(std::atof(duration.c_str()), 8.0) << duration;
    const std::string frame =
        Capture("ffmpeg -v error -ss 5 -i '" + recording + "' -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
    int bright = 0;
    for (unsigned char c : frame) bright += c > 200;
    EXPECT_GT(bright, 500) << "the caption is in the recording";

    // Quit through the close button and the exit window.
    Click(main, kCloseX, kCloseY);
    Geometry exit;
    ASSERT_TRUE(FindWindow(kExitWidth, kExitHeight, &exit));
    Click(exit, 49, 40 + 72 + 9);
    Click(exit, kExitWidth - 64, kExitHeight - 33);
    EXPECT_EQ(program->Wait(30s), 0) << program->Output();
    EXPECT_FALSE(fs::exists(dir_ + "/prefix/bin/Config.xml")) << "nothing is written beside the installed program";
    const std::string saved = ConfigText();
    std::smatch place;
    ASSERT_TRUE(std::regex_search(saved, place, std::regex(R"(<Left>(-?\d+)</Left><Top>(-?\d+)</Top>)"))) << saved;

    // The next start: the caption is back where it was.
    program = StartProgram();
    ASSERT_TRUE(program->WaitForLine("logon window shown", 30s)) << program->Output();
    ASSERT_TRUE(FindWindow(kLogonWidth, kLogonHeight, &logon));
    Click(logon, kOfflineX, kOfflineY);
    ASSERT_TRUE(program->WaitForLine("main window shown", 30s)) << program->Output();
    ASSERT_TRUE(FindWindow(kMainWidth, kMainHeight, &main));
    std::this_thread::sleep_for(1s);
    Shoot(main, "session_5_second_start");
    // The caption's box in the preview (view coordinates from the settings, below the banner), lit.
    const int left = std::stoi(place[1]), top = std::stoi(place[2]);
    EXPECT_GT(BrightScreenPixels(main.x + 1 + left, main.y + 56 + top, 200, 30), 40);
    program->Signal(SIGTERM);
    EXPECT_EQ(program->Wait(30s), 0) << program->Output();
    EXPECT_NE(ConfigText().find(place[0].str()), std::string::npos) << "the caption kept its place";
}
