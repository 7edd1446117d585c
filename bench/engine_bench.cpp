// The live engine's own cost per encoded unit: building the RTMP message, queuing it and sending it from the
// send thread, with a connection that only counts and with librtmp writing the chunks into a local socket; and
// the memory the two queues hold when they are full (the server away for more than ten seconds).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "media/flv_packet.h"
#include "media/live_engine.h"

namespace {

constexpr size_t kVideoUnitBytes = 14720;  // 2944 kbit/s at 25 fps
constexpr size_t kAudioUnitBytes = 372;    // 128 kbit/s in 1024-sample frames at 44.1 kHz

// Counts what it is given.
class NullConnection : public IRtmpConnection {
public:
    int Open(const std::string&) override { return 1; }
    bool IsConnected() override { return true; }
    bool Send(RTMPPacket* packet) override {
        benchmark::DoNotOptimize(packet->m_body[0]);
        return true;
    }
    int32_t StreamId() const override { return 1; }
    void Abort() override {}
};

// librtmp chunking and writing every message into one end of a socket pair; a thread drains the other end.
class LoopbackConnection : public IRtmpConnection {
public:
    LoopbackConnection() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return;
        reader_ = fds[1];
        drain_ = std::thread([this] {
            std::vector<char> sink(1 << 16);
            while (read(reader_, sink.data(), sink.size()) > 0) {
            }
        });
        rtmp_ = RTMP_Alloc();
        RTMP_Init(rtmp_);
        rtmp_->m_sb.sb_socket = fds[0];
        rtmp_->m_outChunkSize = kRtmpOutChunkSize;
    }
    ~LoopbackConnection() override {
        if (rtmp_ != nullptr) {
            RTMP_Close(rtmp_);
            RTMP_Free(rtmp_);
        }
        if (drain_.joinable()) drain_.join();
        if (reader_ >= 0) close(reader_);
    }
    int Open(const std::string&) override { return rtmp_ != nullptr ? 1 : 0; }
    bool IsConnected() override { return rtmp_ != nullptr && RTMP_IsConnected(rtmp_); }
    bool Send(RTMPPacket* packet) override { return RTMP_SendPacket(rtmp_, packet, 0) != 0; }
    int32_t StreamId() const override { return 1; }
    void Abort() override {}

private:
    RTMP* rtmp_ = nullptr;
    int reader_ = -1;
    std::thread drain_;
};

struct Units {
    std::vector<uint8_t> video;
    std::vector<uint8_t> audio;
    Units() : video(kVideoUnitBytes, 0x5A), audio(kAudioUnitBytes, 0x21) {
        video[0] = video[1] = video[2] = 0;
        video[3] = 1;
        video[4] = 0x41;
    }
};

// An engine that publishes (nothing recorded) to the given connection.
std::unique_ptr<CLiveEngine> PublishingEngine(RtmpConnectionFactory factory, int fps = 25) {
    auto engine = std::make_unique<CLiveEngine>(nullptr);
    engine->width = 160;
    engine->height = 96;
    engine->fps = fps;
    engine->videoBitrate = 500000;
    engine->audioBitrate = 64000;
    engine->publishEnabled = true;
    engine->publishUrl = "rtmp://bench/live/x";
    engine->SetConnectionFactory(std::move(factory));
    if (engine->StartLive() != 1 || engine->GoLive() != 1) return nullptr;
    return engine;
}

void Feed(CLiveEngine* engine, Units& units, bool video, int64_t t) {
    EncodedPacket p{};
    if (video) {
        p.data = units.video.data();
        p.size = static_cast<int32_t>(units.video.size());
        p.prefixLength = 4;
        p.mediaKind = MEDIA_VIDEO;
        p.frameType = 2;
        p.pts = p.dts = t;
        CLiveEngine::OnPacket(PACKET_TYPE_VIDEO, engine, p.size, 0, &p);
    } else {
        p.data = units.audio.data();
        p.size = static_cast<int32_t>(units.audio.size());
        p.mediaKind = MEDIA_AUDIO;
        p.durationMs = 23;
        p.pts = p.dts = t;
        CLiveEngine::OnPacket(PACKET_TYPE_AUDIO, engine, p.size, 0, &p);
    }
}

// Nanoseconds the send thread has run (from the scheduler's accounting, which is exact, unlike the tick counts).
double SendThreadCpuNs() {
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return 0;
    double ns = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream comm(base + "/comm");
        std::string name;
        std::getline(comm, name);
        if (name != "rtmp-send") continue;
        std::ifstream schedstat(base + "/schedstat");
        schedstat >> ns;
    }
    closedir(dir);
    return ns;
}

// Units through the sink (timed: building the message and queuing it on the producer's thread), then the send
// thread sends them (its own run time per unit is the send_cpu counter).
void RunThroughEngine(benchmark::State& state, RtmpConnectionFactory factory, bool video) {
    constexpr int kBatch = 200;
    auto engine = PublishingEngine(std::move(factory), 25);
    if (!engine) {
        state.SkipWithError("engine did not start");
        return;
    }
    Units units;
    int64_t t = 0;
    // One stream alone waits until fps (video) or 40 (sound) messages are queued: keep one less waiting, so
    // that every batch goes out whole (and stays below the queue limits).
    const int warmup = video ? 25 : 40;
    for (int i = 0; i < warmup; ++i) Feed(engine.get(), units, video, t += 23);
    const size_t waiting = static_cast<size_t>(warmup - 1);
    while (engine->QueuedAudio() + engine->QueuedVideo() > waiting) std::this_thread::yield();
    const double sendBefore = SendThreadCpuNs();
    for (auto _ : state) {
        const uint64_t target = engine->PacketsSent() + kBatch;
        for (int i = 0; i < kBatch; ++i) Feed(engine.get(), units, video, t += 23);
        state.PauseTiming();
        while (engine->PacketsSent() < target) std::this_thread::yield();
        state.ResumeTiming();
    }
    const double unitCount = static_cast<double>(state.iterations() * kBatch);
    state.SetItemsProcessed(state.iterations() * kBatch);
    // Seconds of the producer's CPU per unit (shown with an SI prefix: u = microseconds).
    state.counters["sink_to_queue"] =
        benchmark::Counter(kBatch, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["send_cpu_us"] = (SendThreadCpuNs() - sendBefore) / 1000.0 / unitCount;
    engine->StopLive();
}

void BM_BuildVideoMessage(benchmark::State& state) {
    Units units;
    for (auto _ : state) {
        QueuedPacketPtr packet = BuildAvcNalUnit(units.video.data() + 4, units.video.size() - 4, false, 1040, 1000);
        benchmark::DoNotOptimize(packet.get());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kVideoUnitBytes));
}
BENCHMARK(BM_BuildVideoMessage);

void BM_BuildAudioMessage(benchmark::State& state) {
    Units units;
    for (auto _ : state) {
        QueuedPacketPtr packet = BuildAacRawFrame(units.audio.data(), units.audio.size(), 1000);
        benchmark::DoNotOptimize(packet.get());
    }
}
BENCHMARK(BM_BuildAudioMessage);

void BM_VideoUnitSinkToSent_CountingConnection(benchmark::State& state) {
    RunThroughEngine(
        state, [] { return std::make_unique<NullConnection>(); }, true);
}
BENCHMARK(BM_VideoUnitSinkToSent_CountingConnection);

void BM_AudioUnitSinkToSent_CountingConnection(benchmark::State& state) {
    RunThroughEngine(
        state, [] { return std::make_unique<NullConnection>(); }, false);
}
BENCHMARK(BM_AudioUnitSinkToSent_CountingConnection);

void BM_VideoUnitSinkToSent_LibrtmpIntoSocket(benchmark::State& state) {
    RunThroughEngine(
        state, [] { return std::make_unique<LoopbackConnection>(); }, true);
}
BENCHMARK(BM_VideoUnitSinkToSent_LibrtmpIntoSocket);

void BM_AudioUnitSinkToSent_LibrtmpIntoSocket(benchmark::State& state) {
    RunThroughEngine(
        state, [] { return std::make_unique<LoopbackConnection>(); }, false);
}
BENCHMARK(BM_AudioUnitSinkToSent_LibrtmpIntoSocket);

// A server that refuses after the first message: the queues fill to their limits (500 audio, fps x 10 video).
class RefusingConnection : public NullConnection {
public:
    int Open(const std::string&) override { return first_ ? (first_ = false, 1) : 0; }
    bool IsConnected() override { return false; }

private:
    static inline bool first_ = true;
};

void BM_MemoryHeldByFullQueues(benchmark::State& state) {
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto engine = PublishingEngine([] { return std::make_unique<RefusingConnection>(); }, 25);
        if (!engine) {
            state.SkipWithError("engine did not start");
            return;
        }
        const size_t started = mallinfo2().uordblks;
        Units units;
        for (int i = 0; i < 800; ++i) {
            Feed(engine.get(), units, false, i * 23);
            if (i % 2 == 0) Feed(engine.get(), units, true, i * 20);
        }
        while (engine->QueuedAudio() > CLiveEngine::kMaxQueuedAudio || engine->QueuedVideo() > 250)
            std::this_thread::yield();
        const size_t full = mallinfo2().uordblks;
        state.counters["queued_audio"] = static_cast<double>(engine->QueuedAudio());
        state.counters["queued_video"] = static_cast<double>(engine->QueuedVideo());
        state.counters["MB_held"] = static_cast<double>(full - started) / (1024.0 * 1024.0);
        state.counters["MB_engine_idle"] = static_cast<double>(started - before) / (1024.0 * 1024.0);
        engine->StopLive();
    }
}
BENCHMARK(BM_MemoryHeldByFullQueues)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
