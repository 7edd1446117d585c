// The capture-node listing on folders without capture hardware, and the unwrapping of SourceKit's
// 32-bit millisecond stamps onto the 64-bit media clock.
#include "platform/v4l2/video_inputs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/media_clock.h"

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "bv-nodes-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

constexpr int64_t kWrap = int64_t{1} << 32;

}  // namespace

TEST(VideoInputs, FilesAndDevicesThatAreNotCaptureNodesAreLeftOut) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    EXPECT_TRUE(ListVideoInputs(dir.path).empty());
    std::ofstream(dir.path + "/video0") << "a regular file";
    // A device node that answers no V4L2 query.
    std::filesystem::create_symlink("/dev/null", dir.path + "/video1");
    std::ofstream(dir.path + "/videoX") << "";
    EXPECT_TRUE(ListVideoInputs(dir.path).empty());
    EXPECT_TRUE(ListVideoInputNames(dir.path).empty());
    EXPECT_TRUE(ListVideoInputs(dir.path + "/missing").empty());
}

TEST(VideoInputs, ThisMachinesNodesAreListedInOrderWithEachCardOnce) {
    const std::vector<VideoInput> inputs = ListVideoInputs();
    for (const VideoInput& input : inputs) {
        EXPECT_EQ(input.node.rfind("/dev/video", 0), 0u) << input.node;
        EXPECT_FALSE(input.cardName.empty());
    }
    const std::vector<std::string> names = ListVideoInputNames();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    EXPECT_LE(names.size(), inputs.size());
}

TEST(MediaClock, UnwrapKeepsStampsNearTheClockAcrossTheWrap) {
    // Far from a wrap the stamp is the clock's own low half.
    EXPECT_EQ(UnwrapMediaTimeMs(1000, 900), 1000);
    EXPECT_EQ(UnwrapMediaTimeMs(900, 1000), 900);
    // The 32-bit stamp wrapped a moment ago, the clock is just behind the wrap: the stamp lies ahead.
    EXPECT_EQ(UnwrapMediaTimeMs(5, kWrap - 10), kWrap + 5);
    // The clock has passed the wrap, the stamp was taken just before it.
    EXPECT_EQ(UnwrapMediaTimeMs(0xFFFFFFF6u, kWrap + 20), kWrap - 10);
    // Days of uptime later, several wraps on: still within a few milliseconds of the clock.
    const int64_t now = 5 * kWrap + 123456;
    EXPECT_EQ(UnwrapMediaTimeMs(static_cast<uint32_t>(now - 40), now), now - 40);
    EXPECT_EQ(UnwrapMediaTimeMs(static_cast<uint32_t>(now + 40), now), now + 40);
    // Today's clock: a stamp made from it now comes back as the clock's value.
    const int64_t today = GetMediaTimeMs();
    EXPECT_EQ(UnwrapMediaTimeMs(static_cast<uint32_t>(today), today), today);
}
