// The process's capture devices: the names the camera dialog offers, and the open devices it owns
// and shares by name among the camera layers. One per process, made at start-up after the audio
// mixer and destroyed before it; SourceKit's callbacks for every capture device reach the newest
// registry. Opened on the main thread, released on the main and composition threads.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/v4l2/video_inputs.h"
#include "scene/device_registry.h"
#include "scene/video_device.h"
#include "sourcekit/sourcekit.h"

class CVideoDeviceList : public CDeviceRegistry<CVideoDevice> {
public:
    CVideoDeviceList();
    // StopAll; holders must have released their devices before (the scene goes first).
    ~CVideoDeviceList();

    // Replaces the name list with the machine's capture devices (V4L2 card names of folder's
    // video nodes) and returns it; empty when there is none.
    std::vector<std::string> EnumerateVideoDevices(const std::string& folder = "/dev");
    std::vector<std::string> DeviceNames() const;

    // The open device of that name with one more reference (its options stay those of the first
    // opening), or a newly opened and started one; null without options or when SourceKit cannot
    // open it (the caller shows text 24).
    CVideoDevice* OpenVideoDevice(const std::string& name, const CaptureOptions* options, bool deinterlace);
    // SourceKit's callback for every capture device; user carries the device's identifier.
    static void Callback(int32_t kind, void* user, int32_t size, void* data, FrameInfo* info);

private:
    void Retire(CVideoDevice* device) override;

    mutable std::mutex namesLock_;
    std::vector<std::string> names_;

    static std::atomic<CVideoDeviceList*> process_;
};

// The capture options a V4L2 format stands for; false for the formats a camera cannot be opened in
// here (SourceKit takes packed YUY2 and 24-bit BGR only).
bool CaptureOptionsOf(const CaptureFormat& format, CaptureOptions* options);
// What a device delivers when nobody asks for more: its current format, or else the first it offers
// that it can be opened in; false when it offers none.
bool DefaultCaptureOptions(const CaptureFormats& formats, CaptureOptions* options);
