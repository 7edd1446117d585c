// The capture-node listing on folders without capture hardware, the formats a capture driver offers
// (its answers scripted), and the unwrapping of SourceKit's 32-bit millisecond stamps onto the 64-bit
// media clock.
#include "platform/v4l2/video_inputs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/media_clock.h"
#include "tests/common/scripted_v4l2.h"

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

TEST(CaptureFormats, TheDriversAnswersBecomeFormatsSizesAndRatesInItsOrder) {
    // A webcam lists discrete sizes and intervals; its current format comes with its rate.
    const CaptureFormats webcam = QueryCaptureFormats(ScriptedV4l2::Webcam());
    const std::vector<CaptureFormat> expected = {{V4L2_PIX_FMT_YUYV, 1280, 720, 30.0f},
                                                 {V4L2_PIX_FMT_YUYV, 1280, 720, 15.0f},
                                                 {V4L2_PIX_FMT_YUYV, 640, 480, 30.0f},
                                                 {V4L2_PIX_FMT_MJPEG, 1920, 1080, 30.0f}};
    EXPECT_EQ(webcam.offered, expected);
    ASSERT_TRUE(webcam.hasCurrent);
    EXPECT_EQ(webcam.current, (CaptureFormat{V4L2_PIX_FMT_YUYV, 640, 480, 30.0f}));

    // A capture card answers with ranges: offered at the usual sizes and rates that fit them, largest
    // first. Its rate unknown, the current format takes the first rate offered for it.
    ScriptedV4l2 card;
    card.formats = {{V4L2_PIX_FMT_BGR24, {}, true, {320, 1920, 16, 240, 1080, 8}, {{1, 60}, {1, 10}, {1, 1}}}};
    card.current.pixelformat = V4L2_PIX_FMT_BGR24;
    card.current.width = 1280;
    card.current.height = 720;
    card.answersParameters = false;
    const CaptureFormats ranged = QueryCaptureFormats(card);
    ASSERT_EQ(ranged.offered.size(), 8u * 7u) << "8 usual sizes fit the range (1600x1200 does not), 7 usual rates";
    EXPECT_EQ(ranged.offered.front(), (CaptureFormat{V4L2_PIX_FMT_BGR24, 1920, 1080, 60.0f}));
    EXPECT_EQ(ranged.offered.back(), (CaptureFormat{V4L2_PIX_FMT_BGR24, 320, 240, 10.0f}));
    EXPECT_EQ(ranged.current, (CaptureFormat{V4L2_PIX_FMT_BGR24, 1280, 720, 60.0f}));

    // Ranges with no usual value in them are offered at their largest size and fastest rate.
    card.formats[0].sizeRange = {100, 200, 1, 100, 150, 1};
    card.formats[0].intervalRange = {{1, 7}, {1, 6}, {1, 1}};
    EXPECT_EQ(QueryCaptureFormats(card).offered, (std::vector<CaptureFormat>{{V4L2_PIX_FMT_BGR24, 200, 150, 7.0f}}));

    // A driver that does not tell its current format has none; one that lists without end is cut off.
    ScriptedV4l2 broken = ScriptedV4l2::Webcam();
    broken.answersCurrent = false;
    broken.endless = true;
    const CaptureFormats cut = QueryCaptureFormats(broken);
    EXPECT_FALSE(cut.hasCurrent);
    EXPECT_EQ(cut.offered.size(), 64u * 3u);
    // Without such a device there is nothing to offer.
    EXPECT_TRUE(QueryCaptureFormats("No Such Camera").offered.empty());
}
