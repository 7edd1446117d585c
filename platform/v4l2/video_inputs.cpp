#include "platform/v4l2/video_inputs.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
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

}  // namespace

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
