#include "sourcekit/capture_device.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/log.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

#include "platform/v4l2/video_inputs.h"

namespace {

constexpr const char* kOpenFailure = "Couldn't open input stream.\n";

void ReportOpenFailure() {
    std::fputs(kOpenFailure, stdout);
    std::fflush(stdout);
}

const char* InputFormatFor(const char* variable, const char* standard) {
    const char* chosen = std::getenv(variable);
    return chosen != nullptr && chosen[0] != '\0' ? chosen : standard;
}

std::string Decimal(int value) { return std::to_string(value); }

// Two decimals whatever the process locale: a comma-decimal locale would turn 29.97 into "29,97",
// which the demuxer would misread.
std::string TwoDecimals(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof(text) - 1, value, std::chars_format::fixed, 2);
    if (result.ec != std::errc()) return "0.00";
    return std::string(text, result.ptr);
}

bool SpecifierFits(const char* prefix, const std::string& name, size_t bytes) {
    return std::strlen(prefix) + name.size() + 1 <= bytes;
}

}  // namespace

std::string ResolveV4l2Device(const std::string& name) {
    if (name.rfind("/dev/", 0) == 0) return name;
    for (const VideoInput& input : ListVideoInputs())
        if (input.cardName == name) return input.node;
    return "";
}

CCaptureDevice::~CCaptureDevice() { Stop(); }

void CCaptureDevice::Start() {
    if (thread_.joinable()) return;
    running_ = true;
    thread_ = StartNamedThread(ThreadName(), ThreadPriority::kNormal, [this] { ReadingThread(); });
    started_.Wait();
}

void CCaptureDevice::Stop() {
    stopping_ = true;
    running_ = false;
    JoinThread(thread_);
}

int CCaptureDevice::Interrupted(void* device) {
    // Before start nothing blocks on the device's behalf; after stop every blocking call gives up.
    return static_cast<CCaptureDevice*>(device)->stopping_ ? 1 : 0;
}

bool CCaptureDevice::OpenInput(const char* inputFormat, const std::string& url, CAvOptions* options) {
    EnsureFfmpegDevicesRegistered();
    const AVInputFormat* format = av_find_input_format(inputFormat);
    if (format == nullptr) {
        Log(LogLevel::kWarning, "sourcekit", "no FFmpeg input format \"%s\"", inputFormat);
        return false;
    }
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) return false;
    // A read with no packet ready returns at once, so stop never waits for the device.
    context->flags |= AVFMT_FLAG_NONBLOCK;
    context->interrupt_callback.callback = &CCaptureDevice::Interrupted;
    context->interrupt_callback.opaque = this;
    if (avformat_open_input(&context, url.c_str(), format, options->Address()) < 0) return false;  // freed
    demuxer_.reset(context);
    if (demuxer_->nb_streams > 0 && demuxer_->streams[0]->time_base.den > 0) {
        timeBase_ = demuxer_->streams[0]->time_base;
    }
    return true;
}

int32_t CCaptureDevice::PacketTimeMs(int64_t value) const {
    const int64_t ms = value == AV_NOPTS_VALUE ? SkNowMs() : ToMilliseconds(value, timeBase_);
    return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

int32_t CCaptureDevice::DurationMs(int64_t value) const {
    if (value <= 0) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(ToMilliseconds(value, timeBase_)));
}

void CCaptureDevice::ReadingThread() {
    started_.Set();
    PacketPtr packet(av_packet_alloc());
    if (packet == nullptr) return;
    while (running_) {
        // Non-blocking: "try again" and real failures alike are polled for every millisecond, since a
        // capture has no end and an unplugged device only makes reads fail.
        if (av_read_frame(demuxer_.get(), packet.get()) < 0) {
            SkSleep1ms();
            continue;
        }
        Deliver(packet.get());
        av_packet_unref(packet.get());
    }
}

std::unique_ptr<CVideoCaptureDevice> CVideoCaptureDevice::Open(const char* name, int32_t width, int32_t height,
                                                               float frameRate, uint32_t fourcc, int32_t crossbarPin,
                                                               DeviceCallback callback, void* user) {
    if (name == nullptr || width <= 0 || height <= 0) {
        ReportOpenFailure();
        return nullptr;
    }
    const std::string deviceName(name);
    if (!SpecifierFits("video=", deviceName, kVideoSpecifierBytes)) {
        Log(LogLevel::kWarning, "sourcekit", "video device name of %zu bytes is too long", deviceName.size());
        ReportOpenFailure();
        return nullptr;
    }
    const char* inputFormat = InputFormatFor("SOURCEKIT_VIDEO_INPUT", kVideoCaptureInput);
    const bool v4l2 = std::strcmp(inputFormat, kVideoCaptureInput) == 0;
    const std::string url = v4l2 ? ResolveV4l2Device(deviceName) : deviceName;
    if (url.empty()) {
        ReportOpenFailure();
        return nullptr;
    }

    CAvOptions options;
    options.Set("video_size", (Decimal(width) + "x" + Decimal(height)).c_str());
    options.Set("framerate", TwoDecimals(static_cast<double>(frameRate)).c_str());
    options.Set("pixel_format", fourcc == kFourccRV24 ? "bgr24" : "yuyv422");
    // V4L2's input selection (VIDIOC_S_INPUT) is what a capture card's crossbar pin chooses.
    if (crossbarPin != -1) options.Set("channel", Decimal(crossbarPin).c_str());

    std::unique_ptr<CVideoCaptureDevice> device(new CVideoCaptureDevice(callback, user));
    if (!device->OpenInput(inputFormat, url, &options)) {
        ReportOpenFailure();
        return nullptr;
    }
    device->image_.reset(CreateImageBuffer(width, height, fourcc));
    if (device->image_ == nullptr) {
        Log(LogLevel::kWarning, "sourcekit", "no %dx%d capture image", width, height);
        return nullptr;
    }
    device->bottomUp_ = fourcc == kFourccRV24;
    device->info_.slots[0] = width;
    device->info_.slots[1] = height;
    device->info_.slots[3] = SK_INFO_UNUSED;
    device->info_.slots[5] = SK_INFO_UNUSED;
    return device;
}

CVideoCaptureDevice::~CVideoCaptureDevice() { Stop(); }

bool CVideoCaptureDevice::CopyRows(const AVPacket* packet) {
    const int stride = image_->strides[0];
    const int height = image_->height;
    if (packet->data == nullptr || packet->size <= 0) return false;
    // Rows longer than the stride carry padding (or a wider picture) and are cut to the stride; a
    // packet too small for the image would be read past its end, so it is not shown at all.
    const int rowLength = packet->size / height;
    if (rowLength < stride) {
        if (!reportedShortPacket_) {
            Log(LogLevel::kWarning, "sourcekit",
                "capture packet of %d bytes is smaller than the %dx%d image; such packets are dropped", packet->size,
                image_->width, height);
            reportedShortPacket_ = true;
        }
        return false;
    }
    uint8_t* pixels = image_->planes[0];
    if (rowLength == stride && !bottomUp_) {
        std::memcpy(pixels, packet->data, static_cast<size_t>(stride) * height);
        return true;
    }
    for (int row = 0; row < height; ++row) {
        const int target = bottomUp_ ? height - 1 - row : row;
        std::memcpy(pixels + static_cast<size_t>(target) * stride, packet->data + static_cast<size_t>(row) * rowLength,
                    static_cast<size_t>(stride));
    }
    return true;
}

void CVideoCaptureDevice::Deliver(AVPacket* packet) {
    if (!CopyRows(packet)) return;
    const int32_t timestamp = PacketTimeMs(packet->pts);
    image_->timestamp = static_cast<uint32_t>(timestamp);
    info_.slots[4] = timestamp;
    callback_(SK_KIND_VIDEO, user_, 0, image_.get(), &info_);
}

std::unique_ptr<CAudioCaptureDevice> CAudioCaptureDevice::Open(const char* name, int32_t channels, int32_t sampleRate,
                                                               DeviceCallback callback, void* user) {
    if (name == nullptr || channels <= 0 || sampleRate <= 0) {
        ReportOpenFailure();
        return nullptr;
    }
    const std::string deviceName(name);
    if (!SpecifierFits("audio=", deviceName, kAudioSpecifierBytes)) {
        Log(LogLevel::kWarning, "sourcekit", "audio device name of %zu bytes is too long", deviceName.size());
        ReportOpenFailure();
        return nullptr;
    }
    const char* inputFormat = InputFormatFor("SOURCEKIT_AUDIO_INPUT", kAudioCaptureInput);

    CAvOptions options;
    options.Set("channels", Decimal(channels).c_str());
    options.Set("sample_rate", Decimal(sampleRate).c_str());
    // About 20 ms of 16-bit sound per packet.
    const int64_t packetBytes = static_cast<int64_t>(sampleRate) * channels * 2 / 50;
    options.Set("frame_size", std::to_string(std::max<int64_t>(packetBytes, 4)).c_str());
    options.Set("fragment_size", std::to_string(std::max<int64_t>(packetBytes, 4)).c_str());

    std::unique_ptr<CAudioCaptureDevice> device(new CAudioCaptureDevice(callback, user));
    if (!device->OpenInput(inputFormat, deviceName, &options)) {
        ReportOpenFailure();
        return nullptr;
    }
    device->info_.slots[0] = channels;
    device->info_.slots[1] = sampleRate;
    device->info_.slots[4] = SK_INFO_UNUSED;
    device->info_.slots[5] = SK_INFO_UNUSED;
    return device;
}

CAudioCaptureDevice::~CAudioCaptureDevice() { Stop(); }

void CAudioCaptureDevice::Deliver(AVPacket* packet) {
    if (packet->data == nullptr || packet->size <= 0) return;
    info_.slots[3] = PacketTimeMs(packet->pts);
    info_.slots[4] = DurationMs(packet->duration);
    callback_(SK_KIND_AUDIO, user_, packet->size, packet->data, &info_);
}
