// Sound capture and mixing: the CPU the mixing thread needs per second of audio with two live sources, and how
// long a captured sample takes to reach a capture device's ring through a real PulseAudio daemon.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/audio_device.h"
#include "media/audio_mixer.h"
#include "platform/media_clock.h"
#include "platform/thread_util.h"
#include "tools/peers/pulse_server.h"

namespace {

constexpr int kRate = 44100;
constexpr int kChunkFrames = kRate / 100;
constexpr uint64_t kChunkUnits = 100000;

// A source handing out 10 ms chunks of a tone stamped on a clock, as a capture device does.
class ToneSource : public CBaseDevice {
public:
    explicit ToneSource(double frequency) {
        SetGain(0.5f);
        for (int i = 0; i < kChunkFrames; ++i) {
            const auto v = static_cast<int16_t>(12000 * std::sin(2 * 3.14159265 * frequency * i / kRate));
            chunk_.push_back(v);
            chunk_.push_back(v);
        }
    }
    void Push(uint64_t ts) {
        std::lock_guard<std::mutex> guard(lock_);
        stamps_.push_back(ts);
    }
    int32_t GetBuffer(const uint8_t** data, uint32_t* bytes, uint64_t* timestamp) override {
        std::lock_guard<std::mutex> guard(lock_);
        if (stamps_.empty()) return -1;
        *data = reinterpret_cast<const uint8_t*>(chunk_.data());
        *bytes = static_cast<uint32_t>(chunk_.size() * 2);
        *timestamp = stamps_.front();
        return 0;
    }
    int32_t ReleaseBuffer() override {
        std::lock_guard<std::mutex> guard(lock_);
        if (!stamps_.empty()) stamps_.pop_front();
        return 0;
    }

private:
    std::vector<int16_t> chunk_;
    std::mutex lock_;
    std::deque<uint64_t> stamps_;
};

// An engine in a live state that only counts the blocks.
class CountingEngine : public IAudioFeed {
public:
    int32_t State() const override { return kEngineLivePublishing; }
    bool HasAudioEncoder() const override { return true; }
    void EncodeAudio(const uint8_t* pcm, int32_t bytes, uint32_t) override {
        benchmark::DoNotOptimize(pcm[bytes - 1]);
        ++blocks;
    }
    std::atomic<int> blocks{0};
};

// The mixing passes alone: one second of audio (1000 passes on a test clock) with two sources.
void BM_MixingPassesPerAudioSecond(benchmark::State& state) {
    uint64_t now = 3600ull * 10000000;
    CAudioMixer mixer(kRate, [&now] { return now; });
    ToneSource a(440), b(1000);
    CountingEngine engine;
    mixer.AddSource(&a);
    mixer.AddSource(&b);
    mixer.AttachEngine(&engine, static_cast<uint32_t>(now / 10000));
    uint64_t next = now;
    for (auto _ : state) {
        for (int ms = 0; ms < 1000; ++ms) {
            now += 10000;
            // Each source's chunk becomes ready 20 ms after its start, as from a capture device.
            while (next + 2 * kChunkUnits <= now) {
                a.Push(next);
                b.Push(next);
                next += kChunkUnits;
            }
            mixer.RunPass();
        }
    }
    state.counters["blocks"] = engine.blocks.load();
    state.SetLabel("time per iteration = CPU per second of audio");
}
BENCHMARK(BM_MixingPassesPerAudioSecond)->Unit(benchmark::kMillisecond);

// Run time of the calling process's thread with this name, in seconds (from the scheduler's own accounting).
double ThreadCpuSeconds(const std::string& name) {
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return -1;
    double seconds = -1;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream comm(base + "/comm");
        std::string threadName;
        std::getline(comm, threadName);
        if (threadName != name) continue;
        std::ifstream sched(base + "/schedstat");
        uint64_t ns = 0;
        sched >> ns;
        seconds = static_cast<double>(ns) / 1e9;
    }
    closedir(dir);
    return seconds;
}

// The real mixing thread fed in real time by two sources: its CPU per second of audio, the sleeps and wake-ups
// of a pass every millisecond included.
void BM_MixingThreadCpuPerAudioSecond(benchmark::State& state) {
    for (auto _ : state) {
        CAudioMixer mixer(kRate);
        ToneSource a(440), b(1000);
        CountingEngine engine;
        mixer.AddSource(&a);
        mixer.AddSource(&b);
        mixer.AttachEngine(&engine, static_cast<uint32_t>(GetMediaTimeMs()));
        const double before = ThreadCpuSeconds("mixer");
        const auto start = std::chrono::steady_clock::now();
        uint64_t next = static_cast<uint64_t>(GetMediaTime100ns());
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
            const auto now = static_cast<uint64_t>(GetMediaTime100ns());
            while (next + kChunkUnits <= now) {
                a.Push(next);
                b.Push(next);
                next += kChunkUnits;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const double cpu = ThreadCpuSeconds("mixer") - before;
        const double audio = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        mixer.AttachEngine(nullptr, 0);
        state.counters["mixer_cpu_ms_per_audio_s"] = cpu * 1000 / audio;
        state.counters["blocks"] = engine.blocks.load();
    }
}
BENCHMARK(BM_MixingThreadCpuPerAudioSecond)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Writes 10 ms pieces of silence into a pipe source at real-time pace, and a click on request.
class ClickFeeder {
public:
    explicit ClickFeeder(std::string fifo) : fifo_(std::move(fifo)) { thread_ = std::thread(&ClickFeeder::Run, this); }
    ~ClickFeeder() {
        stop_ = true;
        thread_.join();
    }
    void RequestClick() { clickWanted_ = true; }
    // When the last click was written (media clock, 100-ns units); 0 before.
    uint64_t ClickWrittenAt() const { return clickAt_; }

private:
    void Run() {
        SetCurrentThreadName("click-feeder");
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        const int fd = open(fifo_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return;
        std::vector<int16_t> silence(kChunkFrames * 2, 0);
        std::vector<int16_t> click(kChunkFrames * 2, 0);
        std::fill(click.begin(), click.begin() + 40, 30000);
        auto next = std::chrono::steady_clock::now();
        while (!stop_) {
            const bool clicking = clickWanted_.exchange(false);
            const auto& piece = clicking ? click : silence;
            if (clicking) clickAt_ = static_cast<uint64_t>(GetMediaTime100ns());
            if (write(fd, piece.data(), piece.size() * 2) < 0) break;
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);  // the pace of a real device
        }
        close(fd);
    }

    std::string fifo_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> clickWanted_{false};
    std::atomic<uint64_t> clickAt_{0};
};

// From a click written into a pipe source to its chunk in a capture device's ring (polled every millisecond, as
// the mixer does), and how far the chunk's timestamp lies from the moment of writing.
void BM_PulseCaptureToRingLatency(benchmark::State& state) {
    CPulseServer server;
    if (!server.Start({"load-module module-pipe-source source_name=bvmic file=DIR/bvmic.fifo format=s16le "
                       "rate=44100 channels=2 source_properties=device.description=BvMic"})) {
        state.SkipWithError("no PulseAudio daemon");
        return;
    }
    server.ExportToEnvironment();
    CAudioDevice device(nullptr, "BvMic", "bvmic", true);
    if (!device.OpenDevice() || !device.StartDevice()) {
        state.SkipWithError("the capture device did not open");
        return;
    }
    ClickFeeder feeder(server.Dir() + "/bvmic.fifo");
    std::vector<double> arrival, stampError;
    const auto drain = [&device](auto&& onChunk) {
        const uint8_t* data = nullptr;
        uint32_t bytes = 0;
        uint64_t ts = 0;
        while (device.GetBuffer(&data, &bytes, &ts) >= 0) {
            onChunk(reinterpret_cast<const int16_t*>(data), bytes / 4, ts);
            device.ReleaseBuffer();
        }
    };
    // Settle: let the stream run a moment before measuring.
    const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < settle) {
        drain([](const int16_t*, uint32_t, uint64_t) {});
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (auto _ : state) {
        feeder.RequestClick();
        bool seen = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            drain([&](const int16_t* values, uint32_t frames, uint64_t ts) {
                for (uint32_t f = 0; f < frames && !seen; ++f) {
                    if (values[f * 2] < 20000) continue;
                    const auto now = static_cast<uint64_t>(GetMediaTime100ns());
                    const uint64_t written = feeder.ClickWrittenAt();
                    arrival.push_back(static_cast<double>(now - written) / 1e4);
                    const double clickTs = static_cast<double>(ts) + f * 1e7 / kRate;
                    stampError.push_back((clickTs - static_cast<double>(written)) / 1e4);
                    seen = true;
                }
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!seen) {
            state.SkipWithError("a click never arrived");
            return;
        }
        // Let the click's period pass before the next one.
        drain([](const int16_t*, uint32_t, uint64_t) {});
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    auto mean = [](const std::vector<double>& v) {
        double s = 0;
        for (double x : v) s += x;
        return v.empty() ? 0 : s / static_cast<double>(v.size());
    };
    state.counters["arrival_ms_mean"] = mean(arrival);
    state.counters["arrival_ms_max"] = arrival.empty() ? 0 : *std::max_element(arrival.begin(), arrival.end());
    state.counters["stamp_minus_write_ms_mean"] = mean(stampError);
    state.counters["stamp_minus_write_ms_min"] =
        stampError.empty() ? 0 : *std::min_element(stampError.begin(), stampError.end());
    state.counters["stamp_minus_write_ms_max"] =
        stampError.empty() ? 0 : *std::max_element(stampError.begin(), stampError.end());
}
BENCHMARK(BM_PulseCaptureToRingLatency)->Iterations(30)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
