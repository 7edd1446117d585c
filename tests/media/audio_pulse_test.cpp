// Sound capture and mixing against a real PulseAudio daemon that each test starts for itself: a null sink as the
// output whose monitor carries the system sound, and pipe sources fed at real-time pace as microphones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <thread>
#include <unordered_map>

#include "media/audio_device.h"
#include "media/audio_mixer.h"
#include "platform/media_clock.h"
#include "tests/media/audio_test_support.h"
#include "tests/media/pulse_test_support.h"
#include "tools/peers/pulse_server.h"

// libpulse keeps process-wide caches (free lists, mutexes made on first use) that it guards with atomics of its
// own; the library is not built with ThreadSanitizer, which therefore cannot see that synchronisation.
extern "C" const char* __tsan_default_suppressions() { return "race:libpulsecommon\nrace:libpulse.so\n"; }

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A block is loud when its left channel reaches this level.
bool Loud(const DeliveredBlock& block, double level) {
    for (size_t i = 0; i < block.samples.size(); i += 2) {
        if (std::abs(block.samples[i]) >= level * 32768) return true;
    }
    return false;
}

size_t CountLoud(const std::vector<DeliveredBlock>& blocks, double level) {
    size_t n = 0;
    for (const auto& b : blocks) n += Loud(b, level) ? 1 : 0;
    return n;
}

// A tone in the mix, measured block by block over the stretch between the first and the last loud block (less a
// margin at both ends where the sound starts and stops), so that the few blocks a starved sound server spoils on a
// busy machine do not decide the outcome, while a fault in every chunk does.
struct ToneReport {
    size_t blocks = 0;
    double frequency = 0;  // median over the blocks
    double leftPeak = 0;   // median over the blocks, full-scale units
    double rightPeak = 0;
    double cleanShare = 0;  // blocks without a jump steeper than the tone itself, joins to the block before included
};

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

ToneReport MeasureTone(const std::vector<DeliveredBlock>& blocks, double level, size_t margin, double frequency,
                       double peak) {
    ToneReport report;
    size_t first = blocks.size(), last = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (Loud(blocks[i], level)) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first >= blocks.size() || last < first + 2 * margin) return report;
    const double steepest = peak * 2 * 3.14159265 * frequency / kMixRate * 1.1;
    std::vector<double> frequencies, lefts, rights;
    size_t clean = 0;
    for (size_t i = first + margin; i <= last - margin; ++i) {
        const auto& samples = blocks[i].samples;
        frequencies.push_back(ZeroCrossingFrequency(Channel(samples, 0), kMixRate));
        lefts.push_back(SinePeak(Channel(samples, 0)));
        rights.push_back(SinePeak(Channel(samples, 1)));
        double step = std::abs(samples[0] - blocks[i - 1].samples[blocks[i - 1].samples.size() - 2]) / 32768.0;
        for (size_t k = 2; k < samples.size(); k += 2)
            step = std::max(step, std::abs(samples[k] - samples[k - 2]) / 32768.0);
        clean += step < steepest ? 1 : 0;
    }
    report.blocks = frequencies.size();
    report.frequency = Median(frequencies);
    report.leftPeak = Median(lefts);
    report.rightPeak = Median(rights);
    report.cleanShare = static_cast<double>(clean) / static_cast<double>(report.blocks);
    return report;
}

// Frame n of a test signal that does not repeat for minutes.
int16_t Noise(int64_t n, int channel) {
    uint32_t x = static_cast<uint32_t>(n) * 2654435761u + static_cast<uint32_t>(channel) * 40503u;
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return static_cast<int16_t>(static_cast<int32_t>(x % 24001) - 12000);
}

std::vector<int16_t> NoiseFrames(int frames) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        s[static_cast<size_t>(i) * 2] = Noise(i, 0);
        s[static_cast<size_t>(i) * 2 + 1] = Noise(i, 1);
    }
    return s;
}

std::vector<float> FloatTone(double frequency, double peak, int rate, int frames) {
    std::vector<float> s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<float>(peak * std::sin(2 * 3.14159265358979 * frequency * i / rate));
        s[static_cast<size_t>(i) * 2] = v;
        s[static_cast<size_t>(i) * 2 + 1] = v;
    }
    return s;
}

class PulseCapture : public ::testing::Test {
protected:
    void StartServer(const std::vector<std::string>& extraLines = {}) {
        ASSERT_TRUE(server_.Start(extraLines));
        server_.ExportToEnvironment();
    }
    std::string Fifo(const std::string& name) const { return server_.Dir() + "/" + name + ".fifo"; }
    void Live(CAudioMixer* mixer) { mixer->AttachEngine(&recorder_, static_cast<uint32_t>(GetMediaTimeMs())); }

    CPulseServer server_;
    BlockRecorder recorder_;
};

TEST_F(PulseCapture, EndpointListsNameTheNullSinkAndItsMonitorButNoMonitorAsAMicrophone) {
    StartServer({PipeSourceLine("bvmic", "BvMic", "s16le", 44100)});
    CAudioMixer mixer(kMixRate);
    ASSERT_EQ(mixer.EnumerateEndpoints(CAudioMixer::kFlowRender), 1);
    const auto speakers = mixer.Endpoints(CAudioMixer::kFlowRender);
    EXPECT_EQ(speakers[0].friendlyName, "BvNull");
    EXPECT_EQ(speakers[0].id, "bvnull");
    EXPECT_EQ(speakers[0].monitor, "bvnull.monitor");

    ASSERT_EQ(mixer.EnumerateEndpoints(CAudioMixer::kFlowCapture), 1);
    const auto microphones = mixer.Endpoints(CAudioMixer::kFlowCapture);
    EXPECT_EQ(microphones[0].friendlyName, "BvMic");
    EXPECT_EQ(microphones[0].id, "bvmic");

    // Listing again replaces the list.
    ASSERT_EQ(mixer.EnumerateEndpoints(CAudioMixer::kFlowCapture), 1);
    mixer.ClearEndpoints(CAudioMixer::kFlowCapture);
    EXPECT_TRUE(mixer.Endpoints(CAudioMixer::kFlowCapture).empty());
}

TEST_F(PulseCapture, AToneIntoTheSinkReachesTheMixAtTheSystemSoundGain) {
    StartServer();
    const std::string wav = server_.Dir() + "/tone.wav";
    ASSERT_TRUE(WriteWav(wav, StereoSine(1000, 0.5, kMixRate, 0, 3 * kMixRate), kMixRate, 2));

    CAudioMixer mixer(kMixRate);
    ASSERT_EQ(mixer.EnumerateEndpoints(CAudioMixer::kFlowRender), 1);
    mixer.SelectDevices("default", "BvNull");
    ASSERT_TRUE(mixer.HasSystemSound());
    // The only source is the sink's monitor, which is no microphone.
    EXPECT_FALSE(mixer.HasMicrophone());
    mixer.SetSystemSoundGain(0.8f);
    Live(&mixer);

    const pid_t player = server_.Play(wav, "bvnull");
    ASSERT_GT(player, 0);
    // Two seconds of the tone in the mix.
    EXPECT_TRUE(recorder_.WaitFor([](const auto& blocks) { return CountLoud(blocks, 0.2) >= 50; }, seconds(20)));
    WaitChild(player, 10000, true);
    mixer.AttachEngine(nullptr, 0);

    const ToneReport tone = MeasureTone(recorder_.Blocks(), 0.2, 2, 1000, 0.4);
    ASSERT_GE(tone.blocks, 25u);
    EXPECT_NEAR(tone.frequency, 1000.0, 1.0);
    EXPECT_NEAR(tone.leftPeak, 0.4, 0.01);
    EXPECT_NEAR(tone.rightPeak, 0.4, 0.01);
    // Laid end to end without gaps or overlaps.
    EXPECT_GE(tone.cleanShare, 0.75);
}

TEST_F(PulseCapture, AMicrophoneDeliversItsSamplesUnchangedAtGainOne) {
    StartServer({PipeSourceLine("bvmic", "BvMic", "s16le", 44100)});
    CAudioMixer mixer(kMixRate);
    ASSERT_EQ(mixer.EnumerateEndpoints(CAudioMixer::kFlowCapture), 1);
    mixer.SelectDevices("BvMic", "default");
    ASSERT_TRUE(mixer.HasMicrophone());
    mixer.SetMicrophoneGain(1.0f);
    Live(&mixer);

    const int frames = 3 * kMixRate;
    PipeFeeder feeder(Fifo("bvmic"), AsBytes(NoiseFrames(frames)), kMixRate * 4);
    feeder.Start();
    // All three seconds through the mix.
    EXPECT_TRUE(recorder_.WaitFor([](const auto& blocks) { return CountLoud(blocks, 0.2) >= 73; }, seconds(20)));
    feeder.Stop();
    mixer.AttachEngine(nullptr, 0);

    // Every output frame that is a fed frame, found by its pair with the next frame (unique over the signal).
    std::unordered_map<uint64_t, int64_t> where;
    const auto key = [](int16_t l0, int16_t r0, int16_t l1, int16_t r1) {
        return static_cast<uint64_t>(static_cast<uint16_t>(l0)) << 48 |
               static_cast<uint64_t>(static_cast<uint16_t>(r0)) << 32 |
               static_cast<uint64_t>(static_cast<uint16_t>(l1)) << 16 | static_cast<uint16_t>(r1);
    };
    for (int64_t n = 0; n + 1 < frames; ++n)
        where.emplace(key(Noise(n, 0), Noise(n, 1), Noise(n + 1, 0), Noise(n + 1, 1)), n);
    const auto out = Joined(recorder_.Blocks());
    size_t exact = 0, inOrder = 0;
    int64_t previous = -1;
    for (size_t f = 0; f + 1 < out.size() / 2; ++f) {
        const auto it = where.find(key(out[f * 2], out[f * 2 + 1], out[f * 2 + 2], out[f * 2 + 3]));
        if (it == where.end()) continue;
        ++exact;
        inOrder += it->second == previous + 1 ? 1 : 0;
        previous = it->second;
    }
    // Sample for sample, in order: at least two of the three fed seconds (a starved feeding thread or server may
    // cost some chunks on a busy machine; altered, resampled or shuffled sound matches nothing).
    EXPECT_GE(exact, static_cast<size_t>(2 * kMixRate));
    EXPECT_GE(inOrder, exact - exact / 20);
}

TEST_F(PulseCapture, AFloatSourceAt48kHzIsConvertedTo44100HzStereo16) {
    StartServer({PipeSourceLine("bvfloat", "BvFloat", "float32le", 48000)});
    CAudioMixer mixer(kMixRate);
    ASSERT_EQ(mixer.EnumerateEndpoints(CAudioMixer::kFlowCapture), 1);
    mixer.SelectDevices("BvFloat", "default");
    ASSERT_TRUE(mixer.HasMicrophone());
    mixer.SetMicrophoneGain(1.0f);
    Live(&mixer);

    PipeFeeder feeder(Fifo("bvfloat"), AsBytes(FloatTone(1000, 0.5, 48000, 3 * 48000)), 48000 * 8);
    feeder.Start();
    EXPECT_TRUE(recorder_.WaitFor([](const auto& blocks) { return CountLoud(blocks, 0.2) >= 50; }, seconds(20)));
    feeder.Stop();
    mixer.AttachEngine(nullptr, 0);

    const auto blocks = recorder_.Blocks();
    for (const auto& b : blocks) ASSERT_EQ(b.samples.size() * 2, 7056u);
    const ToneReport tone = MeasureTone(blocks, 0.2, 2, 1000, 0.5);
    ASSERT_GE(tone.blocks, 25u);
    EXPECT_NEAR(tone.frequency, 1000.0, 1.0);
    EXPECT_NEAR(tone.leftPeak, 0.5, 0.01);
    EXPECT_NEAR(tone.rightPeak, 0.5, 0.01);
    EXPECT_GE(tone.cleanShare, 0.75);
}

TEST_F(PulseCapture, ACaptureDeviceHandsOut10MsChunksOnTheMediaClock) {
    StartServer({PipeSourceLine("bvfloat", "BvFloat", "float32le", 48000)});
    CAudioDevice device(nullptr, "BvFloat", "bvfloat", true);
    ASSERT_TRUE(device.OpenDevice());
    EXPECT_EQ(device.FriendlyName(), "BvFloat");
    ASSERT_TRUE(device.StartDevice());
    EXPECT_EQ(device.Chunker().FramesPerPeriod(), 480u);

    PipeFeeder feeder(Fifo("bvfloat"), AsBytes(FloatTone(440, 0.5, 48000, 48000)), 48000 * 8);
    feeder.Start();
    std::vector<uint64_t> stamps;
    const auto deadline = std::chrono::steady_clock::now() + seconds(10);
    // The mixer's way of asking: a pass every millisecond.
    while (stamps.size() < 50 && std::chrono::steady_clock::now() < deadline) {
        const uint8_t* data = nullptr;
        uint32_t bytes = 0;
        uint64_t ts = 0;
        while (device.GetBuffer(&data, &bytes, &ts) >= 0) {
            EXPECT_EQ(bytes, 1764u);
            stamps.push_back(ts);
            device.ReleaseBuffer();
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    const auto now = static_cast<uint64_t>(GetMediaTime100ns());
    feeder.Stop();
    ASSERT_GE(stamps.size(), 50u);
    for (size_t i = 1; i < stamps.size(); ++i) EXPECT_GT(stamps[i], stamps[i - 1]);
    // Stamped in the recent past of the media clock, 10 ms apart on average.
    EXPECT_LT(stamps.back(), now);
    EXPECT_GT(stamps.back(), now - 5000000);
    EXPECT_NEAR(static_cast<double>(stamps.back() - stamps.front()) / static_cast<double>(stamps.size() - 1), 100000,
                5000);
}

TEST_F(PulseCapture, ADefaultMicrophoneThatWouldBeAMonitorFallsToTheFirstRealSource) {
    StartServer({PipeSourceLine("bvmic", "BvMic", "s16le", 44100), "set-default-source bvnull.monitor"});
    CAudioMixer mixer(kMixRate);
    mixer.SelectDevices("default", "default");
    ASSERT_TRUE(mixer.HasMicrophone());
    ASSERT_TRUE(mixer.HasSystemSound());
    mixer.SetMicrophoneGain(1.0f);
    Live(&mixer);
    // Nothing plays into the sink: sound in the mix can only come from the real microphone.
    PipeFeeder feeder(Fifo("bvmic"), AsBytes(StereoSine(600, 0.5, kMixRate, 0, 2 * kMixRate)), kMixRate * 4);
    feeder.Start();
    EXPECT_TRUE(recorder_.WaitFor([](const auto& blocks) { return CountLoud(blocks, 0.3) >= 10; }, seconds(20)));
}

TEST_F(PulseCapture, ADaemonKilledMidCaptureLeavesTheMixerRunningAndTheLiveSilent) {
    StartServer({PipeSourceLine("bvmic", "BvMic", "s16le", 44100)});
    CAudioMixer mixer(kMixRate);
    ASSERT_EQ(mixer.EnumerateEndpoints(CAudioMixer::kFlowCapture), 1);
    mixer.SelectDevices("BvMic", "default");
    ASSERT_TRUE(mixer.HasMicrophone());
    mixer.SetMicrophoneGain(1.0f);
    Live(&mixer);
    PipeFeeder feeder(Fifo("bvmic"), AsBytes(StereoSine(600, 0.5, kMixRate, 0, 10 * kMixRate)), kMixRate * 4);
    feeder.Start();
    ASSERT_TRUE(recorder_.WaitFor([](const auto& blocks) { return CountLoud(blocks, 0.3) >= 5; }, seconds(20)));

    server_.Kill();
    // Blocks keep coming, and once the ring has played out they are silent.
    const size_t atKill = recorder_.Count();
    EXPECT_TRUE(recorder_.WaitFor(
        [atKill](const auto& blocks) {
            return blocks.size() >= atKill + 30 && !Loud(blocks.back(), 0.01) && !Loud(blocks[blocks.size() - 2], 0.01);
        },
        seconds(20)));
    feeder.Stop();

    // Asking for the same devices keeps the silent ones; asking for others finds no server, at once.
    mixer.SelectDevices("BvMic", "default");
    EXPECT_TRUE(mixer.HasMicrophone());
    mixer.SelectDevices("another", "another");
    EXPECT_FALSE(mixer.HasMicrophone());
    EXPECT_FALSE(mixer.HasSystemSound());
    EXPECT_EQ(mixer.EnumerateEndpoints(CAudioMixer::kFlowCapture), -1);
    const size_t afterReselect = recorder_.Count();
    EXPECT_TRUE(recorder_.WaitForCount(afterReselect + 5, seconds(10)));
}

TEST_F(PulseCapture, WithoutASoundServerTheKindsStaySilentAndTheLiveGoesOn) {
    setenv("PULSE_SERVER", "unix:/nonexistent/bv-no-server", 1);
    CAudioMixer mixer(kMixRate);
    EXPECT_EQ(mixer.EnumerateEndpoints(CAudioMixer::kFlowRender), -1);
    mixer.SelectDevices("default", "default");
    EXPECT_FALSE(mixer.HasMicrophone());
    EXPECT_FALSE(mixer.HasSystemSound());
    Live(&mixer);
    ASSERT_TRUE(recorder_.WaitForCount(3, seconds(10)));
    mixer.AttachEngine(nullptr, 0);
    for (const auto& b : recorder_.Blocks()) EXPECT_FALSE(Loud(b, 0.0001));
}

}  // namespace
