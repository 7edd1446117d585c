// The whole program end to end: `brevacastpc --headless` publishing a scene of screen, caption and
// picture with system sound to a local nginx-rtmp and recording it, checked with ffprobe/ffmpeg on
// both the stream read back from the server and the MP4 file. Real peers only: Xvfb with moving
// content, a private PulseAudio daemon playing a tone, nginx with the RTMP module.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/child_process.h"
#include "tools/peers/nginx_rtmp.h"
#include "tools/peers/pulse_server.h"
#include "tools/peers/xvfb_server.h"

namespace {

std::string TempDir() {
    char tmpl[] = "/tmp/bv-headless-XXXXXX";
    return mkdtemp(tmpl);
}

// The program run as a child, with the elapsed-time reports of its status lines.
class Child : public CChildProcess {
public:
    using CChildProcess::CChildProcess;
    // Reads until the live has reported at least seconds of elapsed time.
    bool WaitForElapsed(int seconds, std::chrono::milliseconds timeout) {
        return WaitFor(
            [&](const std::string& line) {
                int h = 0, m = 0, sec = 0;
                return std::sscanf(line.c_str(), "live %d:%d:%d", &h, &m, &sec) == 3 &&
                       h * 3600 + m * 60 + sec >= seconds;
            },
            timeout);
    }
};

struct StreamInfo {
    std::string codec;
    double start = 0, duration = 0;
    int frames = 0;
};

// Streams of a media file or URL by ffprobe, counting packets (reliable for flv and fragmented files).
std::vector<StreamInfo> Probe(const std::string& what) {
    std::vector<StreamInfo> streams;
    std::istringstream in(
        Capture("ffprobe -v error -count_packets -show_entries "
                "stream=codec_name,start_time,duration,nb_read_packets -of csv=p=0 '" +
                what + "' 2>/dev/null"));
    std::string line;
    while (std::getline(in, line)) {
        StreamInfo s;
        std::istringstream f(line);
        std::string field;
        std::vector<std::string> fields;
        while (std::getline(f, field, ',')) fields.push_back(field);
        if (fields.size() < 4) continue;
        s.codec = fields[0];
        s.start = std::atof(fields[1].c_str());
        s.duration = std::atof(fields[2].c_str());
        s.frames = std::atoi(fields[3].c_str());
        streams.push_back(s);
    }
    return streams;
}

// Decoding errors of a whole file. The null muxer's own complaints about a variable frame rate are
// not the file's: they are left out.
std::string DecodeErrors(const std::string& file) {
    std::istringstream in(Capture("ffmpeg -v error -i '" + file + "' -f null - 2>&1"));
    std::string line, errors;
    while (std::getline(in, line))
        if (line.find("non monotonically increasing dts to muxer") == std::string::npos) errors += line + "\n";
    return errors;
}

// True when every stream's decoding times only rise.
bool DecodingTimesRise(const std::string& file) {
    std::istringstream in(
        Capture("ffprobe -v error -show_entries packet=stream_index,dts -of csv=p=0 '" + file + "' 2>/dev/null"));
    std::string line;
    std::vector<long long> last(8, -(1LL << 62));
    while (std::getline(in, line)) {
        int index = 0;
        long long dts = 0;
        if (std::sscanf(line.c_str(), "%d,%lld", &index, &dts) != 2 || index < 0 || index >= 8) continue;
        if (dts <= last[index]) return false;
        last[index] = dts;
    }
    return true;
}

const StreamInfo* Find(const std::vector<StreamInfo>& streams, const std::string& codec) {
    for (const auto& s : streams)
        if (s.codec == codec) return &s;
    return nullptr;
}

// Loudness and frequency of the sound of a file between from and from + seconds.
void MeasureTone(const std::string& file, double from, double seconds, double* rms, double* frequency) {
    const std::string pcm = Capture("ffmpeg -v error -ss " + std::to_string(from) + " -t " + std::to_string(seconds) +
                                    " -i '" + file + "' -vn -ac 1 -ar 44100 -f s16le - 2>/dev/null");
    const size_t n = pcm.size() / 2;
    const auto* samples = reinterpret_cast<const int16_t*>(pcm.data());
    double sum = 0;
    int crossings = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += double(samples[i]) * samples[i];
        if (i > 0 && (samples[i - 1] < 0) != (samples[i] < 0)) ++crossings;
    }
    *rms = n ? std::sqrt(sum / n) : 0;
    *frequency = n ? crossings / 2.0 / (n / 44100.0) : 0;
}

// The colour (R, G, B) of one pixel of a recording's picture at a time.
std::vector<int> PixelAt(const std::string& file, double at, int x, int y) {
    const std::string rgb = Capture("ffmpeg -v error -ss " + std::to_string(at) + " -i '" + file +
                                    "' -frames:v 1 -vf crop=2:2:" + std::to_string(x) + ":" + std::to_string(y) +
                                    " -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    if (rgb.size() < 3) return {};
    return {static_cast<uint8_t>(rgb[0]), static_cast<uint8_t>(rgb[1]), static_cast<uint8_t>(rgb[2])};
}

bool CloseTo(const std::vector<int>& colour, int r, int g, int b) {
    return colour.size() == 3 && std::abs(colour[0] - r) < 40 && std::abs(colour[1] - g) < 40 &&
           std::abs(colour[2] - b) < 40;
}

class HeadlessLive : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = TempDir();
        ASSERT_TRUE(x_.Start(1280, 720));
        pattern_ = fork();
        if (pattern_ == 0) {
            setenv("DISPLAY", x_.Display().c_str(), 1);
            execl(MOVING_PATTERN_PATH, MOVING_PATTERN_PATH, "25", static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_TRUE(pulse_.Start());
        // A 440 Hz tone, longer than any live here, played into the null sink.
        tone_ = dir_ + "/tone.wav";
        ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=44100:duration=60 "
                               "-ac 2 '" +
                               tone_ + "'")
                                  .c_str()),
                  0);
        player_ = pulse_.Play(tone_, "bvnull");
        ASSERT_GT(player_, 0);
        ASSERT_TRUE(nginx_.Start());
        // A picture for the scene.
        picture_ = dir_ + "/logo.png";
        ASSERT_EQ(
            std::system(("ffmpeg -v error -y -f lavfi -i color=c=0x2060C0:s=320x180 -frames:v 1 -pix_fmt rgb24 '" +
                         picture_ + "'")
                            .c_str()),
            0);
    }
    void TearDown() override {
        if (player_ > 0) WaitChild(player_, 2000, true);
        if (pattern_ > 0) {
            kill(pattern_, SIGKILL);
            waitpid(pattern_, nullptr, 0);
        }
        nginx_.Stop();
        pulse_.Stop();
        x_.Stop();
        if (!getenv("BV_KEEP_TEST_FILES")) std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string WriteConfig(const std::string& url, int useHardware = 0) {
        const std::string path = dir_ + "/Config.xml";
        std::ofstream out(path);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Config><ServerURL>" << url
            << "</ServerURL><FrameSizeCX>1280</FrameSizeCX><FrameSizeCY>720</FrameSizeCY><Bitrate>2048</Bitrate>"
               "<UseIpp>"
            << useHardware
            << "</UseIpp><Language>en</Language><MicAudioDevice>none</MicAudioDevice>"
               "<SpkAudioDevice></SpkAudioDevice><SpkGain>1.000000</SpkGain><MicGain>0.000000</MicGain>"
               "<LocalSaveFolder>"
            << dir_ << "/rec</LocalSaveFolder><Scene>"
            << "<SceneSource><type>2</type><SourceName>On "
               "air</SourceName><Left>20</Left><Top>20</Top><Right>300</Right>"
               "<Bottom>70</Bottom><KeepRatio>0</KeepRatio><Visible>1</Visible><BorderWidth>0</BorderWidth>"
               "<BorderColor>0</BorderColor><FaceName></FaceName><rgbColor>65535</rgbColor><Bold>1</Bold>"
               "<Italic>0</Italic><UnderLine>0</UnderLine><StrikeOut>0</StrikeOut><Hollow>0</Hollow>"
               "<MoveSpeed>0</MoveSpeed><MoveDirection>0</MoveDirection></SceneSource>"
            << "<SceneSource><type>0</type><SourceName>" << picture_
            << "</SourceName><Left>540</Left><Top>10</Top><Right>700</Right><Bottom>100</Bottom><KeepRatio>1</"
               "KeepRatio>"
               "<Visible>1</Visible><BorderWidth>0</BorderWidth><BorderColor>0</BorderColor><Alpha>255</Alpha>"
               "</SceneSource>"
            << "<SceneSource><type>3</type><SourceName>screen</SourceName><Left>0</Left><Top>0</Top><Right>720</Right>"
               "<Bottom>405</Bottom><KeepRatio>1</KeepRatio><Visible>1</Visible><BorderWidth>0</BorderWidth>"
               "<BorderColor>0</BorderColor><ScrIdx>0</ScrIdx></SceneSource></Scene></Config>";
        return path;
    }
    std::vector<std::string> Env() const {
        return {"DISPLAY=" + x_.Display(), "PULSE_SERVER=" + pulse_.Address(),
                "PULSE_CLIENTCONFIG=" + pulse_.Dir() + "/client.conf"};
    }
    // Reads the published stream back from the server for a while into a file.
    pid_t StartReader(const std::string& url, const std::string& out, int seconds) {
        const pid_t pid = fork();
        if (pid == 0) {
            const int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, STDIN_FILENO);
            dup2(devnull, STDOUT_FILENO);
            dup2(devnull, STDERR_FILENO);
            execlp("ffmpeg", "ffmpeg", "-v", "error", "-y", "-rw_timeout", "20000000", "-i", url.c_str(), "-c", "copy",
                   "-t", std::to_string(seconds).c_str(), out.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }

    std::string dir_, tone_, picture_;
    CXvfbServer x_;
    CPulseServer pulse_;
    CNginxRtmp nginx_;
    pid_t pattern_ = -1, player_ = -1;
};

std::string RecordingPath(const std::string& output) {
    const size_t at = output.find("recording: ");
    if (at == std::string::npos) return {};
    return output.substr(at + 11, output.find('\n', at) - at - 11);
}

}  // namespace

TEST_F(HeadlessLive, PublishesAndRecordsScreenCaptionPictureAndSystemSound) {
    const std::string url = nginx_.Url("e2e");
    // The player is there before the live, as an audience waiting for it: it gets the stream from
    // its first message.
    const pid_t reader = StartReader(url, dir_ + "/published.flv", 8);
    ASSERT_TRUE(nginx_.WaitForPlayer("e2e", std::chrono::seconds(10)));
    Child program({BREVACASTPC_PATH, "--headless", "--record", "--duration", "15", "--config", WriteConfig(url)},
                  Env());
    int readerStatus = -1;
    ASSERT_EQ(program.Wait(std::chrono::seconds(60)), 0) << program.Output();
    ASSERT_TRUE(WaitChild(reader, 30000, false, &readerStatus));

    // The recording.
    const std::string mp4 = RecordingPath(program.Output());
    ASSERT_FALSE(mp4.empty()) << program.Output();
    const auto rec = Probe(mp4);
    const StreamInfo* video = Find(rec, "h264");
    const StreamInfo* audio = Find(rec, "aac");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_GE(video->frames, static_cast<int>(0.9 * 15 * 25)) << "too few frames for 15 s at 25 fps";
    EXPECT_LT(std::fabs(video->start - audio->start), 0.1) << "audio and video must start together";
    EXPECT_LT(std::fabs(video->duration - audio->duration), 0.8);
    double rms = 0, frequency = 0;
    MeasureTone(mp4, 2.0, 6.0, &rms, &frequency);
    EXPECT_GT(rms, 1000.0) << "the recording's sound is silent";
    EXPECT_NEAR(frequency, 440.0, 15.0);
    // Plays to its end: every packet decodes, in rising decoding order.
    EXPECT_EQ(DecodeErrors(mp4), "");
    EXPECT_TRUE(DecodingTimesRise(mp4));

    // The stream as a player got it from the server.
    const auto pub = Probe(dir_ + "/published.flv");
    const StreamInfo* pv = Find(pub, "h264");
    const StreamInfo* pa = Find(pub, "aac");
    ASSERT_NE(pv, nullptr);
    ASSERT_NE(pa, nullptr);
    EXPECT_GE(pv->frames, 100);
    EXPECT_LT(std::fabs(pv->start - pa->start), 0.1);
    // An idle null sink hands a new recorder its first sound up to two seconds late: measure after that.
    MeasureTone(dir_ + "/published.flv", 3.0, 4.0, &rms, &frequency);
    EXPECT_GT(rms, 1000.0);
    EXPECT_NEAR(frequency, 440.0, 15.0);
}

TEST_F(HeadlessLive, SurvivesTheServerGoingAwayAndResumesPublishing) {
    const std::string url = nginx_.Url("restart");
    Child program({BREVACASTPC_PATH, "--headless", "--duration", "16", "--config", WriteConfig(url)}, Env());
    ASSERT_TRUE(program.WaitForElapsed(3, std::chrono::seconds(30))) << program.Output();
    nginx_.Stop();
    ASSERT_TRUE(program.WaitForLine("Reconnecting", std::chrono::seconds(10))) << program.Output();
    ASSERT_TRUE(nginx_.Start());
    // Publishing again: elapsed-time lines come back (only the publishing state reports them).
    ASSERT_TRUE(program.WaitForLine("live 00:00:", std::chrono::seconds(15))) << program.Output();
    // A player that connects after the restart decodes the stream.
    const pid_t reader = StartReader(url, dir_ + "/after.flv", 4);
    int readerStatus = -1;
    ASSERT_TRUE(WaitChild(reader, 30000, false, &readerStatus));
    EXPECT_EQ(program.Wait(std::chrono::seconds(60)), 0) << program.Output();
    const auto pub = Probe(dir_ + "/after.flv");
    const StreamInfo* pv = Find(pub, "h264");
    ASSERT_NE(pv, nullptr);
    EXPECT_GE(pv->frames, 40);
    EXPECT_NE(Find(pub, "aac"), nullptr);
    EXPECT_EQ(DecodeErrors(dir_ + "/after.flv"), "");
}

TEST_F(HeadlessLive, AServerThatIsDownAtStartGivesTheFailureTextAndExitStatus) {
    const std::string url = "rtmp://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/live/none";
    Child program({BREVACASTPC_PATH, "--headless", "--duration", "5", "--config", WriteConfig(url)}, Env());
    EXPECT_NE(program.Wait(std::chrono::seconds(60)), 0);
    EXPECT_NE(program.Output().find("Failed to start the live"), std::string::npos) << program.Output();
}

TEST_F(HeadlessLive, APortalAddressNeedsTheInteractiveLogon) {
    Child program({BREVACASTPC_PATH, "--headless", "--duration", "5", "--config",
                   WriteConfig("http://portal.brevacast.example/PortalService.asmx")},
                  Env());
    EXPECT_EQ(program.Wait(std::chrono::seconds(30)), 2);
}

TEST_F(HeadlessLive, HardwareEncodingWithoutHardwareFailsWithItsTextThenSoftwareWorks) {
    // These machines have no hardware encoder runtime: the live must refuse to start and say why.
    const std::string url = nginx_.Url("hw");
    Child hardware({BREVACASTPC_PATH, "--headless", "--duration", "3", "--config", WriteConfig(url, 1)}, Env());
    EXPECT_NE(hardware.Wait(std::chrono::seconds(60)), 0);
    // The settings are English: the reason reads in English after text 26.
    EXPECT_NE(hardware.Output().find("Failed to start the live. Error:Hardware encoding is not available"),
              std::string::npos)
        << hardware.Output();
    Child software({BREVACASTPC_PATH, "--headless", "--duration", "3", "--config", WriteConfig(url, 0)}, Env());
    EXPECT_EQ(software.Wait(std::chrono::seconds(60)), 0) << software.Output();
    EXPECT_NE(software.Output().find("Stopped"), std::string::npos) << software.Output();
}

TEST_F(HeadlessLive, RecordsAMediaFileWithItsSoundAndANetworkStreamFromTheStoredScene) {
    // A looping media file: green picture and an 880 Hz tone, shorter than the live.
    const std::string media = dir_ + "/clip.mp4";
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=0x00C000:s=320x180:r=25:d=4 -f lavfi -i "
                           "sine=frequency=880:sample_rate=44100:duration=4 -ac 2 -c:v libx264 -pix_fmt yuv420p "
                           "-c:a aac -shortest '" +
                           media + "'")
                              .c_str()),
              0);
    // A network stream: a magenta picture published to the local server while the live runs.
    const std::string stream = nginx_.Url("source");
    Child publisher({"ffmpeg", "-v", "error", "-re", "-f", "lavfi", "-i", "color=c=0xC000C0:s=320x180:r=25:d=60",
                     "-c:v", "libx264", "-preset", "ultrafast", "-g", "25", "-f", "flv", stream},
                    {});
    ASSERT_TRUE(nginx_.WaitForPublisher("source", std::chrono::seconds(15))) << nginx_.ErrorLog();

    const std::string config = dir_ + "/media.xml";
    {
        std::ofstream out(config);
        auto record = [&](int type, const std::string& name, const char* rect, const char* extra) {
            out << "<SceneSource><type>" << type << "</type><SourceName>" << name << "</SourceName>" << rect
                << "<KeepRatio>0</KeepRatio><Visible>1</Visible><BorderWidth>0</BorderWidth><BorderColor>0"
                   "</BorderColor>"
                << extra << "</SceneSource>";
        };
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Config><ServerURL></ServerURL><FrameSizeCX>1280"
               "</FrameSizeCX><FrameSizeCY>720</FrameSizeCY><Bitrate>2048</Bitrate><UseIpp>0</UseIpp><Language>en"
               "</Language><MicAudioDevice>none</MicAudioDevice><SpkAudioDevice></SpkAudioDevice><SpkGain>0.000000"
               "</SpkGain><MicGain>0.000000</MicGain><LocalSaveFolder>"
            << dir_ << "/rec</LocalSaveFolder><Scene>";
        const char* media = "<Volume>100</Volume><PlayFlag>1</PlayFlag>";
        record(4, dir_ + "/clip.mp4", "<Left>0</Left><Top>0</Top><Right>360</Right><Bottom>202</Bottom>", media);
        record(4, dir_ + "/missing.mp4", "<Left>0</Left><Top>0</Top><Right>100</Right><Bottom>100</Bottom>", media);
        record(1, "No such camera", "<Left>0</Left><Top>0</Top><Right>100</Right><Bottom>100</Bottom>",
               "<Width>640</Width><Height>480</Height><FrameRate>25</FrameRate><Fourcc>844715353</Fourcc>");
        record(4, stream, "<Left>360</Left><Top>203</Top><Right>720</Right><Bottom>405</Bottom>",
               "<Volume>100</Volume><PlayFlag>0</PlayFlag>");
        out << "</Scene></Config>";
    }
    Child program({BREVACASTPC_PATH, "--headless", "--duration", "12", "--config", config}, Env(), true);
    ASSERT_EQ(program.Wait(std::chrono::seconds(60)), 0) << program.Output();
    const std::string output = program.Output();
    // The two sources that cannot be opened are left out, each with its line.
    EXPECT_NE(output.find("2 sources"), std::string::npos) << output;
    EXPECT_NE(output.find("missing.mp4\"; skipped"), std::string::npos) << output;
    EXPECT_NE(output.find("No such camera\"; skipped"), std::string::npos) << output;

    const std::string mp4 = RecordingPath(output);
    ASSERT_FALSE(mp4.empty()) << output;
    ASSERT_NE(Find(Probe(mp4), "aac"), nullptr);
    // Late in the live, after the file has looped twice and the stream has been probed and buffered
    // (several seconds): the file top left, the stream bottom right, black between them.
    EXPECT_TRUE(CloseTo(PixelAt(mp4, 10.5, 320, 180), 0, 192, 0)) << "file area";
    EXPECT_TRUE(CloseTo(PixelAt(mp4, 10.5, 960, 540), 192, 0, 192)) << "stream area";
    EXPECT_TRUE(CloseTo(PixelAt(mp4, 10.5, 960, 180), 0, 0, 0)) << "uncovered area";
    // The file's tone is the only sound of the mix, also after the loops.
    double rms = 0, frequency = 0;
    MeasureTone(mp4, 1.0, 10.0, &rms, &frequency);
    EXPECT_GT(rms, 1000.0) << "the media sound did not reach the recording";
    EXPECT_NEAR(frequency, 880.0, 30.0);
}
