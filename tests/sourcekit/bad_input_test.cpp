// Inputs that are not media, or media that breaks off: open returns null or the device plays what it
// can and ends with its one end notification; never a crash or a hang.
#include <gtest/gtest.h>

#include <random>

#include "tests/sourcekit/sk_test_support.h"

using namespace sktest;
using namespace std::chrono_literals;

namespace {

// Opens path; when it opens, plays it to its end. Returns "null", "ended" or "hung".
std::string OpenAndPlay(const std::string& path, size_t* frames = nullptr) {
    Recorder recorder;
    recorder.keepPixels = false;
    int32_t width = 640, height = 360, mask = 0;
    void* handle =
        brevacast_open_filedevice(path.c_str(), 2, 44100, &width, &height, &mask, &Recorder::Callback, &recorder);
    if (handle == nullptr) return "null";
    brevacast_start_filedevice(handle);
    const bool ended = recorder.WaitFor(
        [](const Recorder& r) {
            return std::any_of(r.ends.begin(), r.ends.end(), [](const EndEvent& e) { return e.size == 1; });
        },
        20s);
    brevacast_stop_filedevice(handle);
    if (frames != nullptr) *frames = recorder.VideoCount();
    return ended ? "ended" : "hung";
}

std::string Saved(const MediaDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.Path(name);
    return WriteBytes(path, bytes) ? path : "";
}

}  // namespace

TEST(BadInput, MissingFilesDirectoriesAndEmptyFilesOpenAsNull) {
    MediaDir dir;
    EXPECT_EQ(OpenAndPlay(dir.Path("missing.mp4")), "null");
    EXPECT_EQ(OpenAndPlay(dir.Root()), "null");
    EXPECT_EQ(OpenAndPlay(Saved(dir, "empty.mp4", {})), "null");
}

TEST(BadInput, RandomBytesOpenAsNullOrEndCleanly) {
    MediaDir dir;
    std::mt19937 random(20240611);
    for (const char* name : {"noise.mp4", "noise.flv", "noise.bin"}) {
        std::vector<uint8_t> bytes(64 * 1024);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        const std::string result = OpenAndPlay(Saved(dir, name, bytes));
        EXPECT_TRUE(result == "null" || result == "ended") << name << ": " << result;
    }
}

TEST(BadInput, TruncatedFilesOpenAsNullOrPlayTheirStart) {
    MediaDir dir;
    ClipSpec spec;
    spec.seconds = 2.0;
    const std::string mp4 = MakeClip(dir, "index-at-end.mp4", spec);
    ClipSpec fastStart = spec;
    fastStart.extra = {"-movflags", "+faststart"};
    const std::string indexed = MakeClip(dir, "index-first.mp4", fastStart);
    const std::string flv = MakeClip(dir, "whole.flv", spec);
    ASSERT_FALSE(mp4.empty() || indexed.empty() || flv.empty());

    auto cut = [&](const std::string& path, double fraction, const std::string& name) {
        std::vector<uint8_t> bytes = ReadBytes(path);
        bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * fraction));
        return Saved(dir, name, bytes);
    };
    // Without its index at the end, an mp4 cannot be opened at all.
    EXPECT_EQ(OpenAndPlay(cut(mp4, 0.5, "cut.mp4")), "null");
    // With the index first, the frames that are there play and the file ends.
    size_t frames = 0;
    EXPECT_EQ(OpenAndPlay(cut(indexed, 0.6, "cut-first.mp4"), &frames), "ended");
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, 60u);
    // An FLV cut in the middle of a tag plays up to the cut.
    frames = 0;
    EXPECT_EQ(OpenAndPlay(cut(flv, 0.55, "cut.flv"), &frames), "ended");
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, 60u);
}

TEST(BadInput, CorruptedFilesEndCleanly) {
    MediaDir dir;
    ClipSpec spec;
    spec.seconds = 1.0;
    for (const char* name : {"damaged.mkv", "damaged.mp4", "damaged.flv"}) {
        const std::string clip = MakeClip(dir, std::string("clean-") + name, spec);
        ASSERT_FALSE(clip.empty());
        std::vector<uint8_t> bytes = ReadBytes(clip);
        // Scramble the middle third: headers intact, packets and their framing damaged.
        std::mt19937 random(7);
        for (size_t i = bytes.size() / 3; i < 2 * bytes.size() / 3; i += 1 + random() % 61) {
            bytes[i] = static_cast<uint8_t>(random());
        }
        const std::string result = OpenAndPlay(Saved(dir, name, bytes));
        EXPECT_TRUE(result == "null" || result == "ended") << name << ": " << result;
    }
}

TEST(BadInput, StreamsBreakingOffOrStallingMidPacketShowWhatArrivedAndStop) {
    MediaDir dir;
    ClipSpec spec;
    spec.seconds = 2.0;
    const std::string clip = MakeClip(dir, "whole.flv", spec);
    ASSERT_FALSE(clip.empty());
    std::vector<uint8_t> bytes = ReadBytes(clip);
    bytes.resize(bytes.size() * 6 / 10);  // ends inside a tag
    ByteServer closing(bytes, false);
    ByteServer stalling(bytes, true);

    Recorder closed;
    Recorder stalled;
    closed.keepPixels = false;
    int32_t width = 640, height = 360, mask = 0;
    const std::string closedUrl = closing.Url("cut.flv");
    const std::string stalledUrl = stalling.Url("cut.flv");
    void* closedDevice =
        brevacast_open_filedevice(closedUrl.c_str(), 2, 44100, &width, &height, &mask, &Recorder::Callback, &closed);
    void* stalledDevice =
        brevacast_open_filedevice(stalledUrl.c_str(), 2, 44100, &width, &height, &mask, &Recorder::Callback, &stalled);
    ASSERT_NE(closedDevice, nullptr);
    ASSERT_NE(stalledDevice, nullptr);
    brevacast_start_filedevice(closedDevice);
    brevacast_start_filedevice(stalledDevice);

    // The stalled one: stop returns although its reader is still waiting for the rest.
    ASSERT_TRUE(WaitUntil([&] { return stalling.Connections() == 1; }, 10s));
    std::this_thread::sleep_for(500ms);
    const int64_t before = NowMs();
    brevacast_stop_filedevice(stalledDevice);
    EXPECT_LT(NowMs() - before, 3000);

    // The broken one shows the frames that arrived, then falls silent: the broken connection is
    // retried once they have been shown, and the server is gone by then.
    ASSERT_TRUE(closed.WaitFor(
        [](const Recorder& r) { return !r.video.empty() && sktest::NowMs() - r.video.back().arrivalMs > 1000; }, 15s));
    EXPECT_GT(closed.VideoCount(), 10u);
    EXPECT_LT(closed.VideoCount(), 60u);
    EXPECT_EQ(closing.Connections(), 1);
    brevacast_stop_filedevice(closedDevice);
}
