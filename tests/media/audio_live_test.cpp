// The mixer feeding a real live: a record-only CLiveEngine attached to the mixer, its recording read back with
// the ffmpeg command-line tool.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "media/audio_mixer.h"
#include "media/live_engine.h"
#include "tests/media/audio_test_support.h"

namespace {

constexpr uint32_t kOriginMs = static_cast<uint32_t>(kClockOrigin / kUnitsPerMs);

class TempFolder {
public:
    TempFolder() {
        char name[] = "/tmp/bv-audio-live-XXXXXX";
        if (mkdtemp(name) != nullptr) path = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

std::vector<std::string> Mp4Files(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".mp4") files.push_back(entry.path().string());
    }
    return files;
}

// The file's first audio stream as 44100 Hz 16-bit stereo.
std::vector<int16_t> DecodedSound(const std::string& file, const std::string& folder) {
    const std::string raw = folder + "/sound.raw";
    const std::string command =
        "ffmpeg -nostdin -v error -y -i '" + file + "' -map 0:a:0 -f s16le -ac 2 -ar 44100 '" + raw + "'";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> values(bytes.size() / 2);
    std::memcpy(values.data(), bytes.data(), values.size() * 2);
    return values;
}

TEST(MixerWithTheLiveEngine, ARecordedLiveCarriesTheMixedSound) {
    TempFolder folder;
    ASSERT_FALSE(folder.path.empty());
    CLiveEngine engine(nullptr);
    engine.width = 320;
    engine.height = 240;
    engine.fps = 25;
    engine.videoBitrate = 300000;
    engine.audioBitrate = 128000;
    engine.sampleRate = kMixRate;
    engine.channels = 2;
    engine.publishEnabled = false;
    engine.recordEnabled = true;
    engine.recordFolder = folder.path;
    ASSERT_EQ(engine.StartLive(), 1) << engine.ErrorText();

    uint64_t now = kClockOrigin;
    CAudioMixer mixer(kMixRate, [&now] { return now; });
    ScriptedSource source([&now] { return now; }, 0.5f);
    mixer.AddSource(&source);
    // Three seconds of a 1 kHz tone at 0.8 of full scale, mixed at gain 0.5, from the go-live moment on.
    for (int i = 0; i < 300; ++i) {
        const uint64_t ts = kClockOrigin + static_cast<uint64_t>(i) * 100000;
        source.Push(ts, StereoSine(1000, 0.8, kMixRate, static_cast<int64_t>(i) * kMixRate / 100, kMixRate / 100),
                    ts + 150000);
    }
    mixer.AttachEngine(&engine, kOriginMs);
    ASSERT_EQ(engine.GoLive(), 1);
    const std::vector<uint8_t> picture = MovingPatternYUY2(320, 240, 0);
    for (int ms = 1; ms <= 3700; ++ms) {
        now += kUnitsPerMs;
        mixer.RunPass();
        if (ms % 40 == 0) engine.EncodeVideo(picture.data(), static_cast<uint32_t>(ms));
    }
    mixer.AttachEngine(nullptr, 0);
    ASSERT_EQ(engine.StopLive(), 1);
    engine.Recorder().WaitFinished();

    const auto files = Mp4Files(folder.path);
    ASSERT_EQ(files.size(), 1u);
    const auto sound = DecodedSound(files[0], folder.path);
    // Everything the mixer delivered: about 3.1 s (the ring holds back the last 600 ms).
    ASSERT_GT(sound.size() / 2, static_cast<size_t>(kMixRate * 3));
    const auto left = Channel(sound, 0, kMixRate / 10, kMixRate * 2);
    EXPECT_NEAR(ZeroCrossingFrequency(left, kMixRate), 1000.0, 2.0);
    EXPECT_NEAR(SinePeak(left), 0.4, 0.02);
    // The tone starts with the live, not later.
    const long first = FirstLoudFrame(sound, 0.2);
    ASSERT_GE(first, 0);
    EXPECT_LT(first, kMixRate / 20);
}

}  // namespace
