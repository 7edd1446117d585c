#include "scene/video_device.h"

#include "sourcekit/sourcekit.h"

CVideoDevice::CVideoDevice(const std::string& name, void* handle, uint32_t identifier, int32_t width, int32_t height)
    : width(width), height(height), name_(name), handle_(handle), identifier_(identifier) {}

CVideoDevice::~CVideoDevice() { Stop(); }

void CVideoDevice::Stop() {
    void* handle = handle_;
    handle_ = nullptr;
    brevacast_stop_videodevice(handle);
}

int32_t CVideoDevice::CopyLatestFrame(ImageBuffer** image) { return latest_.CopyTo(image); }

void CVideoDevice::DeliverFrame(const ImageBuffer* frame) { latest_.Store(frame, deinterlace != 0); }
