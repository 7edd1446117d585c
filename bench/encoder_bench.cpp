// Encoding speed of the software encoders with the live parameters: H.264 frames per second from YUY2 (colour
// conversion, libx264 and delivery to a sink, lookahead drained at the end, as a live does) and AAC in
// multiples of real time. bench/x264_vs_ffmpeg.sh runs the H.264 cases on the same raw frames as the ffmpeg
// CLI: set BV_ENCODER_BENCH_RAW to a folder holding WIDTHxHEIGHT.yuyv files (packed YUY2 frames back to back);
// without it the frames are generated here. BV_ENCODER_BENCH_FRAMES sets the clip length (default 100).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "media/faac_codec.h"
#include "media/x264_codec.h"

namespace {

int ClipFrames() {
    const char* text = std::getenv("BV_ENCODER_BENCH_FRAMES");
    const int n = text != nullptr ? std::atoi(text) : 0;
    return n > 0 ? n : 100;
}

// A grainy texture panning diagonally with a square crossing it: motion everywhere, detail to keep.
std::vector<std::vector<uint8_t>> GeneratedFrames(int width, int height, int count) {
    const int texWidth = width + 4 * count, texHeight = height + 2 * count;
    std::vector<uint8_t> luma(static_cast<size_t>(texWidth) * texHeight);
    for (int y = 0; y < texHeight; ++y) {
        for (int x = 0; x < texWidth; ++x) {
            const uint32_t grain = (static_cast<uint32_t>(x) * 2654435761u) ^ (static_cast<uint32_t>(y) * 40503u);
            const double wave = 60 * std::sin(x / 11.0) * std::cos(y / 8.0) + 30 * std::sin((x + y) / 97.0);
            luma[static_cast<size_t>(y) * texWidth + x] =
                static_cast<uint8_t>(std::lround(128 + wave + static_cast<double>((grain >> 13) % 25) - 12));
        }
    }
    std::vector<std::vector<uint8_t>> frames(count);
    const int box = height / 5;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t>& f = frames[i];
        f.resize(static_cast<size_t>(width) * height * 2);
        const int boxX = (i * 9) % (width - box), boxY = (i * 5) % (height - box);
        for (int y = 0; y < height; ++y) {
            const uint8_t* src = luma.data() + static_cast<size_t>(y + 2 * i) * texWidth + 4 * i;
            uint8_t* row = f.data() + static_cast<size_t>(y) * width * 2;
            for (int x = 0; x < width; ++x) {
                const bool inBox = x >= boxX && x < boxX + box && y >= boxY && y < boxY + box;
                row[x * 2] = inBox ? 220 : src[x];
                row[x * 2 + 1] = static_cast<uint8_t>(x % 2 == 0 ? 128 + (src[x] >> 3) : 140 - (y + i) % 24);
            }
        }
    }
    return frames;
}

std::vector<std::vector<uint8_t>> LoadFrames(int width, int height, int count) {
    const char* dir = std::getenv("BV_ENCODER_BENCH_RAW");
    if (dir == nullptr) return GeneratedFrames(width, height, count);
    const std::string path = std::string(dir) + "/" + std::to_string(width) + "x" + std::to_string(height) + ".yuyv";
    std::ifstream in(path, std::ios::binary);
    std::vector<std::vector<uint8_t>> frames;
    const size_t frameBytes = static_cast<size_t>(width) * height * 2;
    while (static_cast<int>(frames.size()) < count) {
        std::vector<uint8_t> f(frameBytes);
        if (!in.read(reinterpret_cast<char*>(f.data()), static_cast<std::streamsize>(frameBytes))) break;
        frames.push_back(std::move(f));
    }
    if (frames.empty()) std::fprintf(stderr, "[bench] no frames in %s\n", path.c_str());
    return frames;
}

// CPU seconds of the whole process, libx264's worker threads included: a figure that a busy machine
// disturbs less than wall-clock rates.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int32_t CountingSink(int32_t, void* context, int32_t size, int32_t, EncodedPacket*) {
    *static_cast<int64_t*>(context) += size;
    return 0;
}

void BM_X264EncodeClip(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1)), fps = 25;
    const auto frames = LoadFrames(width, height, ClipFrames());
    if (frames.empty()) {
        state.SkipWithError("no frames");
        return;
    }
    int64_t bytes = 0, delivered = 0;
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        CLibx264Codec codec;
        CodecParams params{};
        params.width = width;
        params.height = height;
        params.fps = fps;
        params.bitrate = 2944000;
        params.sink = CountingSink;
        params.sinkContext = &bytes;
        if (codec.Initialize(&params, 14, 2) < 0) {
            state.SkipWithError("libx264 refused to open");
            return;
        }
        for (size_t i = 0; i < frames.size(); ++i) {
            params.inputData = frames[i].data();
            params.pts = params.dts = static_cast<uint32_t>(i * 1000 / fps);
            codec.Encode(&params);
        }
        codec.Close(&params);
        delivered += static_cast<int64_t>(frames.size());
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(delivered), benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = (ProcessCpuSeconds() - cpuStart) * 1000 / static_cast<double>(delivered);
    state.counters["kbit_per_s_at_25fps"] =
        static_cast<double>(bytes) * 8 / 1000 / (static_cast<double>(delivered) / fps);
}
BENCHMARK(BM_X264EncodeClip)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The mixer's 40 ms blocks of a chord with some noise, 44100 Hz stereo at 128 kbit/s.
void BM_AacEncode40msBlocks(benchmark::State& state) {
    const int rate = 44100, blockSamples = rate / 25, blocks = 250;
    std::vector<int16_t> pcm(static_cast<size_t>(blockSamples) * blocks * 2);
    uint32_t noise = 1;
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        const double t = static_cast<double>(i) / rate;
        noise = noise * 1664525u + 1013904223u;
        const double v = 0.3 * std::sin(2 * M_PI * 220 * t) + 0.2 * std::sin(2 * M_PI * 277.2 * t) +
                         0.15 * std::sin(2 * M_PI * 329.6 * t) + 0.05 * (static_cast<double>(noise >> 16) / 32768 - 1);
        pcm[i * 2] = static_cast<int16_t>(v * 32767);
        pcm[i * 2 + 1] = static_cast<int16_t>(v * 0.8 * 32767);
    }
    int64_t bytes = 0;
    CLibfaacCodec codec;
    CodecParams params{};
    params.bitrate = 128000;
    params.channels = 2;
    params.sampleRate = rate;
    params.sink = CountingSink;
    params.sinkContext = &bytes;
    if (codec.Open(&params) < 0) {
        state.SkipWithError("AAC encoder refused to open");
        return;
    }
    int64_t block = 0;
    for (auto _ : state) {
        const size_t index = static_cast<size_t>(block % blocks);
        params.inputData = reinterpret_cast<const uint8_t*>(pcm.data() + index * blockSamples * 2);
        params.inputBytes = blockSamples * 4;
        params.audioTimestamp = static_cast<uint32_t>(block * 40);
        codec.Encode(&params);
        ++block;
    }
    codec.Close(&params);
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(block) * 0.040, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AacEncode40msBlocks)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
