// The video capture devices of the machine as V4L2 lists them: the card name of every /dev/video*
// node that captures video, in node order, and the formats, sizes and frame rates a device offers.
// The camera dialogs offer them and SourceKit opens a device by its name. Reads the device nodes
// only; any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct VideoInput {
    std::string cardName;  // VIDIOC_QUERYCAP's card, e.g. "Integrated Camera: Integrated C"
    std::string node;      // "/dev/video0"
};

// Every capture node below folder (the system's "/dev" unless a test gives another), videoN nodes
// sorted by N. Nodes that cannot be opened or queried, and nodes without video capture (a camera's
// metadata node), are left out. An unreadable folder gives an empty list.
std::vector<VideoInput> ListVideoInputs(const std::string& folder = "/dev");

// The card names of ListVideoInputs, each once, in node order: a camera that has two capture
// nodes is still one choice.
std::vector<std::string> ListVideoInputNames(const std::string& folder = "/dev");

// One way a capture node delivers frames.
struct CaptureFormat {
    uint32_t pixelFormat = 0;  // V4L2's code, e.g. V4L2_PIX_FMT_YUYV
    int32_t width = 0;
    int32_t height = 0;
    float frameRate = 0.0f;  // frames per second
    bool operator==(const CaptureFormat&) const = default;
};

struct CaptureFormats {
    std::vector<CaptureFormat> offered;  // in the driver's order: formats, their sizes, their rates
    CaptureFormat current;               // what the node delivers unless asked otherwise
    bool hasCurrent = false;
};

// One question to a capture node: ioctl(2)'s request and argument; 0, or -1 with errno set. The
// real one asks an open node; tests script the driver's answers.
using V4l2Query = std::function<int(unsigned long request, void* argument)>;

// Every format (VIDIOC_ENUM_FMT), size (ENUM_FRAMESIZES) and frame rate (ENUM_FRAMEINTERVALS) the
// node offers, and its current format (G_FMT, G_PARM). A size or rate given as a range is offered at
// the usual values inside it; a size without rates is offered at kFallbackFrameRate.
CaptureFormats QueryCaptureFormats(const V4l2Query& query);
// The same for the first capture node of the device with that card name below folder; nothing when
// there is no such device.
CaptureFormats QueryCaptureFormats(const std::string& cardName, const std::string& folder = "/dev");

constexpr float kFallbackFrameRate = 25.0f;
