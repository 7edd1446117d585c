// A headless live for CPU figures (run by live_publish_cpu.sh): a composed scene with a moving picture, a tone
// fed like the mixer feeds it, the real encoders, the engine publishing to a private nginx.
//   live_publish_driver publish [seconds] [width] [height] [fps]
//       the whole process's CPU over the live, per thread name
//   live_publish_driver server-down [reconnect-interval-ms]
//       the engine alone (synthetic units at the live's rate) while its server is gone: CPU and attempts
//   live_publish_driver stop-while-connecting
//       how long StopLive takes while a reconnection hangs in the handshake with a server that does not answer
//   live_publish_driver ffmpeg-reference [seconds]
//       the same kind of live made by the ffmpeg command line, for comparison
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "app/app_config.h"
#include "app/live_session.h"
#include "app/live_settings.h"
#include "media/live_engine.h"
#include "tests/media/live_test_support.h"
#include "tests/scene/scene_test_support.h"
#include "tools/peers/nginx_rtmp.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds per thread name, from the scheduler's accounting in /proc (threads that already ended are not
// counted). Threads that libx264 starts carry the name of the thread that opened the encoder.
std::map<std::string, double> ThreadCpu() {
    std::map<std::string, double> byName;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return byName;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream commFile(base + "/comm");
        std::string name;
        std::getline(commFile, name);
        std::ifstream schedstat(base + "/schedstat");
        double ns = 0;
        schedstat >> ns;
        byName[name] += ns / 1e9;
    }
    closedir(dir);
    return byName;
}

double Of(const std::map<std::string, double>& cpu, const std::string& name) {
    const auto it = cpu.find(name);
    return it != cpu.end() ? it->second : 0.0;
}

// A publishing live at the default 3072 kbit/s, as the settings give it.
LiveSettings PublishSettings(const std::string& url, int width, int height, int fps) {
    AppConfig config("", nullptr);
    config.FrameSizeCX = width;
    config.FrameSizeCY = height;
    config.Framerate = fps;
    return LiveSettings::From(config, kServerDirectRtmp, 1, url, false);
}

int Publish(int seconds, int width, int height, int fps) {
    CNginxRtmp nginx;
    if (!nginx.Start()) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }
    SceneFixture scene(width, height, fps);
    auto box = SolidLayer(width / 4, height / 4, 30, 200, 240);
    CBaseLayer* moving = box.get();
    scene.scene.AdoptLayer(kLayerPlain, std::move(box), true);
    live_test::StatusLog status;
    CLiveEngine engine(&status.window);
    // The tone stands in for the mixer: it feeds the engine from the live's time base.
    std::unique_ptr<live_test::SoundFeeder> sound;
    LiveProducers producers = LiveProducers::Of(&scene.scene, nullptr);
    producers.attachMixer = [&sound](IAudioFeed* feed, uint32_t timeBase) {
        if (feed != nullptr)
            sound = std::make_unique<live_test::SoundFeeder>(feed, timeBase);
        else if (sound)
            sound->Stop();
    };
    LiveSession session(&engine, producers);
    const double cpuBefore = ProcessCpuSeconds();
    const auto threadsBefore = ThreadCpu();
    const auto start = Clock::now();
    std::string failure;
    if (session.Start(PublishSettings(nginx.Url("bench"), width, height, fps), &failure) != LiveStartResult::kLive) {
        std::fprintf(stderr, "the live did not start: %s\n", failure.c_str());
        return 1;
    }
    // The picture crosses the view once every four seconds.
    const int viewHeight = scene.scene.ViewHeight();
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        const int x = static_cast<int>(std::fmod(t / 4.0, 1.0) * (kViewWidth - kViewWidth / 4));
        moving->SetRect({x, viewHeight / 3, x + kViewWidth / 4, viewHeight / 3 + viewHeight / 4});
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const auto threadsAfter = ThreadCpu();
    const uint64_t frames = scene.scene.ComposeThread().FramesEncoded();
    const uint64_t sent = engine.PacketsSent();
    session.Stop();
    scene.Sync();

    std::printf("publish %dx%d at %d fps for %.1f s: frames encoded %llu (%.1f fps), messages sent %llu\n", width,
                height, fps, wall, static_cast<unsigned long long>(frames), static_cast<double>(frames) / wall,
                static_cast<unsigned long long>(sent));
    std::printf("process CPU %.2f s = %.3f CPU-seconds per second of video\n", cpu, cpu / wall);
    std::printf("held by the encoders at the stop and drained: %llu video units (%.2f s), %llu AAC frames\n",
                static_cast<unsigned long long>(engine.DrainedVideoUnits()),
                static_cast<double>(engine.DrainedVideoUnits()) / fps,
                static_cast<unsigned long long>(engine.DrainedAudioUnits()));
    for (const auto& [name, after] : threadsAfter) {
        const double seconds = after - Of(threadsBefore, name);
        const std::string label = name == "live_publish_dr" ? "x264 workers (and the idle main thread)" : name;
        if (seconds >= 0.005)
            std::printf("  %-40s %6.2f s  (%.3f per second)\n", label.c_str(), seconds, seconds / wall);
    }
    return 0;
}

// Synthetic units at the live's rate: a 14.7 kB slice every 40 ms and a 372-byte AAC frame every 23 ms.
class UnitProducer {
public:
    explicit UnitProducer(CLiveEngine* engine) : engine_(engine), thread_([this] { Run(); }) {}
    ~UnitProducer() {
        stop_ = true;
        thread_.join();
    }

private:
    void Run() {
        std::vector<uint8_t> video(14720, 0x5A), audio(372, 0x21);
        video[3] = 1;
        video[4] = 0x41;
        const auto start = Clock::now();
        int64_t nextVideo = 0, nextAudio = 0;
        while (!stop_) {
            const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            while (nextVideo <= now) {
                EncodedPacket p{video.data(),
                                static_cast<int32_t>(video.size()),
                                4,
                                MEDIA_VIDEO,
                                nextVideo % 3000 == 0 ? 1 : 2,
                                0,
                                nextVideo,
                                nextVideo};
                CLiveEngine::OnPacket(PACKET_TYPE_VIDEO, engine_, p.size, 0, &p);
                nextVideo += 40;
            }
            while (nextAudio <= now) {
                EncodedPacket p{audio.data(), static_cast<int32_t>(audio.size()), 0, MEDIA_AUDIO, 0, 23, nextAudio,
                                nextAudio};
                CLiveEngine::OnPacket(PACKET_TYPE_AUDIO, engine_, p.size, 0, &p);
                nextAudio += 23;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    CLiveEngine* engine_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

int ServerDown(uint32_t reconnectIntervalMs) {
    CNginxRtmp nginx;
    if (!nginx.Start()) return 1;
    live_test::StatusLog status;
    CLiveEngine engine(&status.window);
    PublishSettings(nginx.Url("down"), 160, 96, 25).ApplyTo(&engine);
    engine.SetReconnectIntervalMs(reconnectIntervalMs);
    if (engine.StartLive() != 1 || engine.GoLive() != 1) return 1;
    UnitProducer producer(&engine);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double upCpu = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double upPerSecond = (ProcessCpuSeconds() - upCpu) / 5.0;
    nginx.Stop();
    status.WaitFor(kEngineReconnecting, std::chrono::seconds(10));
    status.Drain();
    const double downCpu = ProcessCpuSeconds();
    const auto downThreads = ThreadCpu();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double downPerSecond = (ProcessCpuSeconds() - downCpu) / 5.0;
    const auto afterThreads = ThreadCpu();
    const auto seen = status.Drain();
    const long attempts = std::count(seen.begin(), seen.end(), kEngineReconnecting);
    std::printf(
        "reconnect interval %u ms: engine CPU %.3f CPU-s/s while publishing, %.3f CPU-s/s with the server down "
        "(send thread %.3f), %.1f connection attempts per second\n",
        reconnectIntervalMs, upPerSecond, downPerSecond,
        (Of(afterThreads, "rtmp-send") - Of(downThreads, "rtmp-send")) / 5.0, static_cast<double>(attempts) / 5.0);
    engine.StopLive();
    return 0;
}

int StopWhileConnecting() {
    CNginxRtmp nginx;
    if (!nginx.Start()) return 1;
    live_test::StatusLog status;
    CLiveEngine engine(&status.window);
    PublishSettings(nginx.Url("stuck"), 160, 96, 25).ApplyTo(&engine);
    if (engine.StartLive() != 1 || engine.GoLive() != 1) return 1;
    const int port = nginx.Port();
    {
        UnitProducer producer(&engine);
        status.WaitFor(kEngineLivePublishing, std::chrono::seconds(10));
        nginx.Stop();
        // Something that takes connections on the server's port and never answers the handshake.
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 16) != 0) {
            std::fprintf(stderr, "cannot take port %d\n", port);
            return 1;
        }
        // Two attempts: the first may still meet the closing server; the second hangs in the handshake.
        status.WaitFor(kEngineReconnecting, std::chrono::seconds(10));
        status.WaitFor(kEngineReconnecting, std::chrono::seconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto start = Clock::now();
        engine.StopLive();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::printf("StopLive during a handshake that never completes: %.0f ms (the receive timeout is %d s)\n", ms,
                    kRtmpTimeoutSeconds);
        close(fd);
    }
    return 0;
}

// The same live made by the ffmpeg CLI (lavfi picture with a moving box, a tone, libx264 at its default preset
// and CRF 35 like our encoder, AAC), for comparison: its CPU from wait4.
int FfmpegReference(int seconds) {
    CNginxRtmp nginx;
    if (!nginx.Start()) return 1;
    const std::string command =
        "exec ffmpeg -nostdin -v error -re -f lavfi -i color=c=black:s=1280x720:r=25 -f lavfi -i "
        "color=c=0xF0C81E:s=320x180:r=25 -f lavfi -i sine=f=440:r=44100 -filter_complex "
        "\"[0][1]overlay=x='mod(t*240,960)':y=240,format=yuv420p[v]\" -map [v] -map 2 -t " +
        std::to_string(seconds) + " -c:v libx264 -crf 35 -g 75 -c:a aac -b:a 128k -ac 2 -f flv " +
        nginx.Url("reference") + " >/dev/null 2>&1";
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("ffmpeg reference 1280x720 at 25 fps for %.1f s: CPU %.2f s = %.3f CPU-seconds per second of video\n",
                wall, cpu, cpu / wall);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "publish";
    if (mode == "publish") {
        return Publish(argc > 2 ? std::atoi(argv[2]) : 20, argc > 3 ? std::atoi(argv[3]) : 1280,
                       argc > 4 ? std::atoi(argv[4]) : 720, argc > 5 ? std::atoi(argv[5]) : 25);
    }
    if (mode == "server-down") return ServerDown(argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 1000);
    if (mode == "stop-while-connecting") return StopWhileConnecting();
    if (mode == "ffmpeg-reference") return FfmpegReference(argc > 2 ? std::atoi(argv[2]) : 20);
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
