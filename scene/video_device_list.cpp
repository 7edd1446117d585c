#include "scene/video_device_list.h"

#include <linux/videodev2.h>

#include <cstdio>

#include "platform/log.h"
#include "platform/v4l2/video_inputs.h"

std::atomic<CVideoDeviceList*> CVideoDeviceList::process_{nullptr};

CVideoDeviceList::CVideoDeviceList() { process_ = this; }

CVideoDeviceList::~CVideoDeviceList() {
    StopAll();
    CVideoDeviceList* self = this;
    process_.compare_exchange_strong(self, nullptr);
}

std::vector<std::string> CVideoDeviceList::EnumerateVideoDevices(const std::string& folder) {
    std::vector<std::string> names = ListVideoInputNames(folder);
    std::lock_guard<std::mutex> guard(namesLock_);
    names_ = names;
    return names;
}

std::vector<std::string> CVideoDeviceList::DeviceNames() const {
    std::lock_guard<std::mutex> guard(namesLock_);
    return names_;
}

CVideoDevice* CVideoDeviceList::OpenVideoDevice(const std::string& name, const CaptureOptions* options,
                                                bool deinterlace) {
    if (options == nullptr) return nullptr;
    std::lock_guard<std::mutex> opening(openLock_);
    if (CVideoDevice* shared = AcquireByName(name)) return shared;
    const uint32_t identifier = NextIdentifier();
    void* handle = brevacast_open_videodevice(name.c_str(), options->width, options->height, options->frameRate,
                                              options->fourcc, -1, -1, &CVideoDeviceList::Callback,
                                              reinterpret_cast<void*>(static_cast<uintptr_t>(identifier)));
    if (handle == nullptr) {
        Log(LogLevel::kWarning, "scene", "capture device \"%s\" could not be opened", name.c_str());
        return nullptr;
    }
    auto opened = std::make_unique<CVideoDevice>(name, handle, identifier, options->width, options->height);
    opened->deinterlace = deinterlace ? 1 : 0;
    opened->frameRate = options->frameRate;
    opened->fourcc = options->fourcc;
    CVideoDevice* device = Append(std::move(opened));
    brevacast_start_videodevice(handle);
    return device;
}

void CVideoDeviceList::Retire(CVideoDevice* device) { device->Stop(); }

void CVideoDeviceList::Callback(int32_t kind, void* user, int32_t /*size*/, void* data, FrameInfo* /*info*/) {
    if (kind != SK_KIND_VIDEO) return;
    CVideoDeviceList* registry = process_;
    if (registry == nullptr) return;
    CVideoDevice* device = registry->FindById(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user)));
    if (device != nullptr) device->DeliverFrame(static_cast<const ImageBuffer*>(data));
}

bool CaptureOptionsOf(const CaptureFormat& format, CaptureOptions* options) {
    uint32_t fourcc = 0;
    if (format.pixelFormat == V4L2_PIX_FMT_YUYV)
        fourcc = kFourccYUY2;
    else if (format.pixelFormat == V4L2_PIX_FMT_BGR24)
        fourcc = kFourccRV24;
    if (fourcc == 0 || format.width <= 0 || format.height <= 0 || !(format.frameRate > 0.0f)) return false;
    *options = CaptureOptions{format.width, format.height, format.frameRate, fourcc};
    return true;
}

bool DefaultCaptureOptions(const CaptureFormats& formats, CaptureOptions* options) {
    if (formats.hasCurrent && CaptureOptionsOf(formats.current, options)) return true;
    for (const CaptureFormat& format : formats.offered)
        if (CaptureOptionsOf(format, options)) return true;
    return false;
}
