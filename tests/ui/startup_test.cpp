// The windowed program as processes see it: one instance per user (a second start brings the first
// forward and ends), and the hand-over to the updater when the version service names a newer version,
// with start-up going on when no updater can be started. The program runs offscreen, its version
// service is the fake web service.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/child_process.h"
#include "tools/fake_portal/fake_portal_server.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class WindowedProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/bv-windowed-XXXXXX";
        dir_ = mkdtemp(pattern);
        fs::create_directories(dir_ + "/run");
        fs::create_directories(dir_ + "/home");
        chmod((dir_ + "/run").c_str(), 0700);
        WriteDeployment("");
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteDeployment(const std::string& versionService) {
        std::ofstream(dir_ + "/deployment.ini") << "# a test deployment\nVersionService=" << versionService << "\n";
    }
    std::vector<std::string> Env() const {
        return {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir_ + "/run", "HOME=" + dir_ + "/home",
                "BREVACAST_DEPLOYMENT=" + dir_ + "/deployment.ini", "BREVACAST_LOG=info"};
    }
    std::vector<std::string> Args(const std::string& program = BREVACASTPC_PATH) const {
        return {program, "--config", dir_ + "/Config.xml"};
    }

    std::string dir_;
};

bool WaitForFile(const std::string& path, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fs::exists(path) || fs::file_size(path) == 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

}  // namespace

TEST_F(WindowedProgram, ASecondStartBringsTheFirstForwardAndEndsWithoutAWindowOfItsOwn) {
    CChildProcess first(Args(), Env(), true);
    ASSERT_TRUE(first.WaitForLine("logon window shown", 30s)) << first.Output();

    CChildProcess second(Args(), Env(), true);
    EXPECT_EQ(second.Wait(30s), 0) << second.Output();
    EXPECT_EQ(second.Output().find("window shown"), std::string::npos) << second.Output();
    EXPECT_TRUE(first.WaitForLine("brought forward at another start's request", 10s)) << first.Output();

    // A terminated first instance leaves its lock and socket behind; the next start is not kept out.
    first.Signal(SIGKILL);
    first.Wait(10s);
    CChildProcess third(Args(), Env(), true);
    EXPECT_TRUE(third.WaitForLine("logon window shown", 30s)) << third.Output();
    third.Signal(SIGTERM);
    EXPECT_EQ(third.Wait(30s), 0) << third.Output();
}

TEST_F(WindowedProgram, ANewerVersionStartsTheUpdaterAndWithoutOneTheStartGoesOn) {
    CFakePortal service;
    ASSERT_TRUE(service.Start());
    ASSERT_TRUE(service.SetVersionAnswer(R"("version":"99.0.1")"));
    const std::string service_address = "http://127.0.0.1:" + std::to_string(service.Port());
    WriteDeployment(service_address);

    // The program in a folder of its own, beside a stand-in updater that writes down its arguments.
    const std::string folder = dir_ + "/program";
    fs::create_directories(folder);
    fs::copy_file(BREVACASTPC_PATH, folder + "/brevacastpc");
    const std::string seen = dir_ + "/updater-arguments";
    std::ofstream(folder + "/UpdateRunner") << "#!/bin/sh\necho \"$@\" > '" << seen << "'\n";
    chmod((folder + "/UpdateRunner").c_str(), 0755);

    CChildProcess handed(Args(folder + "/brevacastpc"), Env(), true);
    EXPECT_EQ(handed.Wait(30s), 0) << handed.Output();
    EXPECT_EQ(handed.Output().find("window shown"), std::string::npos) << handed.Output();
    ASSERT_TRUE(WaitForFile(seen, 10s));
    std::string arguments;
    std::getline(std::ifstream(seen), arguments);
    EXPECT_EQ(arguments, service_address + " brevacastpc");

    fs::remove(folder + "/UpdateRunner");
    CChildProcess goesOn(Args(folder + "/brevacastpc"), Env(), true);
    ASSERT_TRUE(goesOn.WaitForLine("logon window shown", 30s)) << goesOn.Output();
    EXPECT_NE(goesOn.Output().find("the updater could not be started"), std::string::npos) << goesOn.Output();
    goesOn.Signal(SIGTERM);
    EXPECT_EQ(goesOn.Wait(30s), 0) << goesOn.Output();
}

TEST_F(WindowedProgram, SigtermClosesTheMainWindowAsQuitDoesAndSavesTheSceneAndSettings) {
    // A direct RTMP address needs no logon: the main window opens at once.
    std::ofstream(dir_ + "/Config.xml")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Config><ServerURL>rtmp://127.0.0.1:9/live/x</ServerURL>"
           "<Language>en</Language><FrameSizeCX>640</FrameSizeCX><FrameSizeCY>360</FrameSizeCY><Scene><SceneSource>"
           "<type>2</type><SourceName>Kept&#x0020caption</SourceName><Left>10</Left><Top>20</Top><Right>300</Right>"
           "<Bottom>60</Bottom><KeepRatio>0</KeepRatio><Visible>1</Visible><BorderWidth>0</BorderWidth>"
           "<BorderColor>0</BorderColor><FaceName>DejaVu Sans</FaceName><rgbColor>16777215</rgbColor><Bold>0</Bold>"
           "<Italic>0</Italic><UnderLine>0</UnderLine><StrikeOut>0</StrikeOut><Hollow>0</Hollow><MoveSpeed>0"
           "</MoveSpeed><MoveDirection>0</MoveDirection></SceneSource></Scene></Config>";
    CChildProcess program(Args(), Env(), true);
    ASSERT_TRUE(program.WaitForLine("main window shown", 30s)) << program.Output();
    EXPECT_EQ(program.Output().find("logon window shown"), std::string::npos);
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(30s), 0) << program.Output();
    std::stringstream saved;
    saved << std::ifstream(dir_ + "/Config.xml").rdbuf();
    // Written again at the close: the gains are there now, and the scene with its caption in its place.
    EXPECT_NE(saved.str().find("<MicGain>0.500000</MicGain>"), std::string::npos) << saved.str();
    EXPECT_NE(saved.str().find("Kept&amp;#x0020caption</SourceName><Left>10</Left><Top>20</Top>"), std::string::npos)
        << saved.str();
}
