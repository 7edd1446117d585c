// A capture driver's answers to the V4L2 questions about formats, sizes and frame rates, scripted
// for machines without a camera: what the capture-format listing is tested against.
#pragma once

#include <linux/videodev2.h>

#include <cerrno>
#include <cstdint>
#include <vector>

struct ScriptedSize {
    uint32_t width = 0, height = 0;
    std::vector<v4l2_fract> intervals;  // discrete frame intervals
};

struct ScriptedFormat {
    uint32_t pixelFormat = 0;
    std::vector<ScriptedSize> sizes;  // discrete sizes
    // A capture card's answer instead: one range of sizes, each at one range of intervals.
    bool ranges = false;
    v4l2_frmsize_stepwise sizeRange{};
    v4l2_frmival_stepwise intervalRange{};
};

class ScriptedV4l2 {
public:
    std::vector<ScriptedFormat> formats;
    bool answersCurrent = true;
    v4l2_pix_format current{};
    bool answersParameters = true;
    v4l2_fract currentInterval{};
    // A broken driver that lists its first format at every index.
    bool endless = false;

    int operator()(unsigned long request, void* argument) const {
        switch (request) {
            case VIDIOC_ENUM_FMT: {
                auto* description = static_cast<v4l2_fmtdesc*>(argument);
                const uint32_t index = endless ? 0 : description->index;
                if (description->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || index >= formats.size()) return Fail();
                description->pixelformat = formats[index].pixelFormat;
                return 0;
            }
            case VIDIOC_ENUM_FRAMESIZES: {
                auto* size = static_cast<v4l2_frmsizeenum*>(argument);
                const ScriptedFormat* format = Find(size->pixel_format);
                if (format == nullptr) return Fail();
                if (format->ranges) {
                    if (size->index != 0) return Fail();
                    size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
                    size->stepwise = format->sizeRange;
                    return 0;
                }
                if (size->index >= format->sizes.size()) return Fail();
                size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
                size->discrete = {format->sizes[size->index].width, format->sizes[size->index].height};
                return 0;
            }
            case VIDIOC_ENUM_FRAMEINTERVALS: {
                auto* interval = static_cast<v4l2_frmivalenum*>(argument);
                const ScriptedFormat* format = Find(interval->pixel_format);
                if (format == nullptr) return Fail();
                if (format->ranges) {
                    if (interval->index != 0) return Fail();
                    interval->type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
                    interval->stepwise = format->intervalRange;
                    return 0;
                }
                for (const ScriptedSize& size : format->sizes) {
                    if (size.width != interval->width || size.height != interval->height) continue;
                    if (interval->index >= size.intervals.size()) return Fail();
                    interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
                    interval->discrete = size.intervals[interval->index];
                    return 0;
                }
                return Fail();
            }
            case VIDIOC_G_FMT:
                if (!answersCurrent) return Fail();
                static_cast<v4l2_format*>(argument)->fmt.pix = current;
                return 0;
            case VIDIOC_G_PARM:
                if (!answersParameters) return Fail();
                static_cast<v4l2_streamparm*>(argument)->parm.capture.timeperframe = currentInterval;
                return 0;
            default:
                return Fail();
        }
    }

    // A webcam: packed YUV at two sizes, 720p also at 15 fps, and compressed 1080p (which cameras
    // cannot be opened in here); it runs 640x480 at 30 fps.
    static ScriptedV4l2 Webcam() {
        ScriptedV4l2 driver;
        driver.formats = {
            {V4L2_PIX_FMT_YUYV, {{1280, 720, {{1, 30}, {1, 15}}}, {640, 480, {{1, 30}}}}, false, {}, {}},
            {V4L2_PIX_FMT_MJPEG, {{1920, 1080, {{1, 30}}}}, false, {}, {}},
        };
        driver.current.pixelformat = V4L2_PIX_FMT_YUYV;
        driver.current.width = 640;
        driver.current.height = 480;
        driver.currentInterval = {1, 30};
        return driver;
    }

private:
    static int Fail() {
        errno = EINVAL;
        return -1;
    }
    const ScriptedFormat* Find(uint32_t pixelFormat) const {
        for (const ScriptedFormat& format : formats)
            if (format.pixelFormat == pixelFormat) return &format;
        return nullptr;
    }
};
