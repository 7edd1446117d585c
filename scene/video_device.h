// One open capture device (camera or capture card) read by SourceKit. Owned by the capture device
// registry and shared by every camera layer that shows the same device, one reference per holder;
// after the last Release the registry stops SourceKit's device synchronously and destroys it.
// SourceKit's capture thread delivers frames (DeliverFrame); the composition thread copies the newest
// one out (CopyLatestFrame).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "scene/latest_frame.h"
#include "scene/shared_device.h"

// What a capture device is asked to deliver.
struct CaptureOptions {
    int32_t width = 0;
    int32_t height = 0;
    float frameRate = 0.0f;
    uint32_t fourcc = 0;  // kFourccRV24 or kFourccYUY2
};

class CVideoDevice : public CSharedDevice {
public:
    // handle: SourceKit's opened (not yet started) device, owned from here on; null for a device
    // fed only through DeliverFrame. The registry that opened it lists it (SetOwner).
    CVideoDevice(const std::string& name, void* handle, uint32_t identifier, int32_t width, int32_t height);
    // Stops SourceKit's device when it still runs.
    ~CVideoDevice() override;

    int32_t CopyLatestFrame(ImageBuffer** image) override;
    // For a layer that keeps its copy: see CLatestFrame::CopyIfNew.
    int32_t CopyNewFrame(ImageBuffer** image, uint64_t* sequence) { return latest_.CopyIfNew(image, sequence); }

    // SourceKit's capture thread: keeps a copy of the frame, deinterlaced when asked.
    void DeliverFrame(const ImageBuffer* frame);

    // Stops SourceKit's device now (waiting for its thread); the device delivers nothing more.
    void Stop();

    const std::string& Name() const { return name_; }
    uint32_t Identifier() const { return identifier_; }
    bool HasFrame() const { return latest_.Has(); }

    std::atomic<uint8_t> deinterlace{0};
    const int32_t width, height;  // requested capture size
    float frameRate = 0.0f;       // requested rate
    uint32_t fourcc = 0;          // requested format

private:
    const std::string name_;
    void* handle_;
    const uint32_t identifier_;
    CLatestFrame latest_;
};
