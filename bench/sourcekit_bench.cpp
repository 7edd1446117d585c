// CPU cost of playing a 1280x720 30 fps H.264 + AAC file through a SourceKit file device to a
// callback that copies every frame and every sound buffer (as the program's device does), beside
// ffmpeg decoding the same file to nothing (`ffmpeg -i FILE -f null -`, with its default threads and
// with one). The counter cpu_per_media_s is CPU seconds spent per second of media; the ratio of the
// two is the figure to watch. Playback runs in real time, so each device iteration takes the clip's
// length.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "sourcekit/sourcekit.h"

extern char** environ;

namespace {

constexpr double kClipSeconds = 10.0;

// Runs a program without a shell; its exit status and the CPU seconds it used, or a negative status.
int RunChild(std::vector<std::string> args, double* cpuSeconds) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return -1;
    if (cpuSeconds != nullptr) {
        *cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The clip, made once per run in a temporary folder.
class Clip {
public:
    Clip() {
        std::string pattern = (std::filesystem::temp_directory_path() / "bv-sourcekit-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        const std::string file = dir_ + "/720p30.mp4";
        const std::string seconds = std::to_string(kClipSeconds);
        if (RunChild({"ffmpeg",
                      "-nostdin",
                      "-v",
                      "error",
                      "-y",
                      "-f",
                      "lavfi",
                      "-i",
                      "testsrc2=s=1280x720:r=30:d=" + seconds,
                      "-f",
                      "lavfi",
                      "-i",
                      "sine=f=440:r=48000:d=" + seconds,
                      "-c:v",
                      "libx264",
                      "-preset",
                      "veryfast",
                      "-pix_fmt",
                      "yuv420p",
                      "-c:a",
                      "aac",
                      "-b:a",
                      "128k",
                      file},
                     nullptr) == 0) {
            path_ = file;
        }
    }
    ~Clip() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string dir_;
    std::string path_;
};

const Clip& TheClip() {
    static Clip clip;
    return clip;
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// What the program's file device does with a delivery: keep a private copy.
struct Copier {
    static void Callback(int32_t kind, void* user, int32_t size, void* data, FrameInfo* /*info*/) {
        auto* self = static_cast<Copier*>(user);
        if (kind == SK_KIND_VIDEO) {
            const auto* image = static_cast<const ImageBuffer*>(data);
            const size_t bytes = static_cast<size_t>(image->strides[0]) * static_cast<size_t>(image->height);
            self->frame.resize(bytes);
            std::memcpy(self->frame.data(), image->planes[0], bytes);
            ++self->frames;
        } else if (kind == SK_KIND_AUDIO && size > 0) {
            self->sound.resize(static_cast<size_t>(size));
            std::memcpy(self->sound.data(), data, static_cast<size_t>(size));
        } else if (kind == SK_KIND_END && size == 1) {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->ended = true;
            self->endedSignal.notify_all();
        }
    }

    std::vector<uint8_t> frame;
    std::vector<uint8_t> sound;
    int64_t frames = 0;
    std::mutex mutex;
    std::condition_variable endedSignal;
    bool ended = false;
};

void BM_SourceKitPlaysFileToCopyingCallback(benchmark::State& state) {
    const std::string& path = TheClip().Path();
    if (path.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    double cpu = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        Copier copier;
        int32_t width = 1280, height = 720, mask = 0;
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = ProcessCpuSeconds();
        void* device =
            brevacast_open_filedevice(path.c_str(), 2, 44100, &width, &height, &mask, &Copier::Callback, &copier);
        if (device == nullptr) {
            state.SkipWithError("the clip did not open");
            return;
        }
        brevacast_start_filedevice(device);
        {
            std::unique_lock<std::mutex> lock(copier.mutex);
            copier.endedSignal.wait_for(lock, std::chrono::seconds(60), [&] { return copier.ended; });
        }
        brevacast_stop_filedevice(device);
        cpu += ProcessCpuSeconds() - cpuStart;
        frames += copier.frames;
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
    }
    const double mediaSeconds = kClipSeconds * static_cast<double>(state.iterations());
    state.counters["cpu_per_media_s"] = cpu / mediaSeconds;
    state.counters["frames_per_play"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SourceKitPlaysFileToCopyingCallback)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);

void BM_FfmpegDecodesFileToNull(benchmark::State& state) {
    const std::string& path = TheClip().Path();
    if (path.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const int threads = static_cast<int>(state.range(0));  // 0: ffmpeg's own choice
    double cpu = 0;
    for (auto _ : state) {
        std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error"};
        if (threads > 0) args.insert(args.end(), {"-threads", std::to_string(threads)});
        args.insert(args.end(), {"-i", path, "-f", "null", "-"});
        double used = 0;
        const auto wallStart = std::chrono::steady_clock::now();
        if (RunChild(args, &used) != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
        cpu += used;
    }
    state.counters["cpu_per_media_s"] = cpu / (kClipSeconds * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_FfmpegDecodesFileToNull)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
