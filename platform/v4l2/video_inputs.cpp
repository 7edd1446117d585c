#include "platform/v4l2/video_inputs.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

namespace {

// A descriptor closed when it goes out of scope.
class CNodeFd {
public:
    explicit CNodeFd(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}
    ~CNodeFd() {
        if (fd_ >= 0) close(fd_);
    }
    CNodeFd(const CNodeFd&) = delete;
    CNodeFd& operator=(const CNodeFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

bool QueryCaptureCard(const std::string& path, std::string* card) {
    CNodeFd fd(path);
    if (fd.Get() < 0) return false;
    v4l2_capability caps{};
    if (ioctl(fd.Get(), VIDIOC_QUERYCAP, &caps) != 0) return false;
    // A camera often has a second node for metadata under the same card name.
    const uint32_t nodeCaps = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    if ((nodeCaps & V4L2_CAP_VIDEO_CAPTURE) == 0) return false;
    const auto* text = reinterpret_cast<const char*>(caps.card);
    card->assign(text, strnlen(text, sizeof(caps.card)));
    return true;
}

// Bounds on what a driver may list, so that one answering every index forever cannot hang the caller.
constexpr uint32_t kMaxFormats = 64;
constexpr uint32_t kMaxSizes = 256;
constexpr uint32_t kMaxRates = 64;

struct Size {
    int32_t width, height;
};

// What a range of sizes or rates is offered at: the values people choose, largest first.
constexpr Size kUsualSizes[] = {{3840, 2160}, {2560, 1440}, {1920, 1080}, {1600, 1200}, {1280, 960}, {1280, 720},
                                {1024, 768},  {800, 600},   {640, 480},   {640, 360},   {320, 240}};
constexpr int32_t kUsualRates[] = {60, 50, 30, 25, 20, 15, 10, 5};

bool InStep(uint32_t value, uint32_t low, uint32_t high, uint32_t step) {
    return value >= low && value <= high && (step <= 1 || (value - low) % step == 0);
}

std::vector<Size> SizesOf(const V4l2Query& query, uint32_t pixelFormat) {
    std::vector<Size> sizes;
    for (uint32_t index = 0; index < kMaxSizes; ++index) {
        v4l2_frmsizeenum size{};
        size.index = index;
        size.pixel_format = pixelFormat;
        if (query(VIDIOC_ENUM_FRAMESIZES, &size) != 0) break;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            if (size.discrete.width > 0 && size.discrete.height > 0)
                sizes.push_back(
                    {static_cast<int32_t>(size.discrete.width), static_cast<int32_t>(size.discrete.height)});
            continue;
        }
        // A range (stepwise or continuous) is the only answer the driver gives.
        const v4l2_frmsize_stepwise& range = size.stepwise;
        for (const Size& usual : kUsualSizes) {
            if (InStep(static_cast<uint32_t>(usual.width), range.min_width, range.max_width, range.step_width) &&
                InStep(static_cast<uint32_t>(usual.height), range.min_height, range.max_height, range.step_height))
                sizes.push_back(usual);
        }
        if (sizes.empty() && range.max_width > 0 && range.max_height > 0)
            sizes.push_back({static_cast<int32_t>(range.max_width), static_cast<int32_t>(range.max_height)});
        break;
    }
    return sizes;
}

float RateOf(const v4l2_fract& interval) {
    return interval.numerator > 0 ? static_cast<float>(interval.denominator) / static_cast<float>(interval.numerator)
                                  : 0.0f;
}

std::vector<float> RatesOf(const V4l2Query& query, uint32_t pixelFormat, const Size& size) {
    std::vector<float> rates;
    for (uint32_t index = 0; index < kMaxRates; ++index) {
        v4l2_frmivalenum interval{};
        interval.index = index;
        interval.pixel_format = pixelFormat;
        interval.width = static_cast<uint32_t>(size.width);
        interval.height = static_cast<uint32_t>(size.height);
        if (query(VIDIOC_ENUM_FRAMEINTERVALS, &interval) != 0) break;
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            const float rate = RateOf(interval.discrete);
            if (rate > 0.0f) rates.push_back(rate);
            continue;
        }
        // The shortest interval is the fastest rate.
        const float fastest = RateOf(interval.stepwise.min);
        const float slowest = RateOf(interval.stepwise.max);
        for (const int32_t usual : kUsualRates) {
            if (usual <= fastest + 0.01f && usual >= slowest - 0.01f) rates.push_back(static_cast<float>(usual));
        }
        if (rates.empty() && fastest > 0.0f) rates.push_back(fastest);
        break;
    }
    return rates;
}

}  // namespace

CaptureFormats QueryCaptureFormats(const V4l2Query& query) {
    CaptureFormats formats;
    for (uint32_t index = 0; index < kMaxFormats; ++index) {
        v4l2_fmtdesc description{};
        description.index = index;
        description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (query(VIDIOC_ENUM_FMT, &description) != 0) break;
        for (const Size& size : SizesOf(query, description.pixelformat)) {
            std::vector<float> rates = RatesOf(query, description.pixelformat, size);
            if (rates.empty()) rates.push_back(kFallbackFrameRate);
            for (const float rate : rates)
                formats.offered.push_back({description.pixelformat, size.width, size.height, rate});
        }
    }

    v4l2_format current{};
    current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (query(VIDIOC_G_FMT, &current) == 0 && current.fmt.pix.width > 0 && current.fmt.pix.height > 0) {
        formats.current = {current.fmt.pix.pixelformat, static_cast<int32_t>(current.fmt.pix.width),
                           static_cast<int32_t>(current.fmt.pix.height), 0.0f};
        v4l2_streamparm parameters{};
        parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (query(VIDIOC_G_PARM, &parameters) == 0)
            formats.current.frameRate = RateOf(parameters.parm.capture.timeperframe);
        if (formats.current.frameRate <= 0.0f) {
            // The rate the node offers first for its current format and size.
            const CaptureFormat& now = formats.current;
            auto same = std::find_if(formats.offered.begin(), formats.offered.end(), [&](const CaptureFormat& f) {
                return f.pixelFormat == now.pixelFormat && f.width == now.width && f.height == now.height;
            });
            formats.current.frameRate = same != formats.offered.end() ? same->frameRate : kFallbackFrameRate;
        }
        formats.hasCurrent = true;
    }
    return formats;
}

CaptureFormats QueryCaptureFormats(const std::string& cardName, const std::string& folder) {
    for (const VideoInput& input : ListVideoInputs(folder)) {
        if (input.cardName != cardName) continue;
        CNodeFd fd(input.node);
        if (fd.Get() < 0) return {};
        return QueryCaptureFormats([&fd](unsigned long request, void* argument) {
            int result;
            do {
                result = ioctl(fd.Get(), request, argument);
            } while (result != 0 && errno == EINTR);
            return result;
        });
    }
    return {};
}

std::vector<VideoInput> ListVideoInputs(const std::string& folder) {
    std::vector<std::pair<int, std::string>> nodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("video", 0) != 0 || file.size() == 5 || file.size() > 12) continue;
        const std::string digits = file.substr(5);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        nodes.emplace_back(std::atoi(digits.c_str()), entry.path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<VideoInput> inputs;
    for (const auto& node : nodes) {
        std::string card;
        if (QueryCaptureCard(node.second, &card)) inputs.push_back({card, node.second});
    }
    return inputs;
}

std::vector<std::string> ListVideoInputNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const VideoInput& input : ListVideoInputs(folder))
        if (std::find(names.begin(), names.end(), input.cardName) == names.end()) names.push_back(input.cardName);
    return names;
}
