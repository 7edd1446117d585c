// The library's twelve exported functions. Nothing thrown inside crosses them: a failure to open
// is a null handle, any other failure is logged and the call does nothing more.
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>

#include "platform/log.h"
#include "sourcekit/capture_device.h"
#include "sourcekit/local_file_device.h"
#include "sourcekit/net_file_device.h"
#include "sourcekit/sourcekit.h"

static_assert(sizeof(FrameInfo) == 6 * sizeof(int32_t), "FrameInfo is six 32-bit slots");
static_assert(offsetof(ImageBuffer, timestamp) == offsetof(ImageBuffer, fixed) + 3 * sizeof(int32_t),
              "ImageBuffer keeps the program's field order");

namespace {

template <typename Body>
void Guarded(const char* function, Body body) {
    try {
        body();
    } catch (const std::exception& e) {
        Log(LogLevel::kWarning, "sourcekit", "%s failed: %s", function, e.what());
    } catch (...) {
        Log(LogLevel::kWarning, "sourcekit", "%s failed", function);
    }
}

template <typename Body>
void* GuardedOpen(const char* function, Body body) {
    void* handle = nullptr;
    Guarded(function, [&] { handle = body(); });
    return handle;
}

bool IsNetworkPath(const char* path) {
    return std::strstr(path, "rtmp://") != nullptr || std::strstr(path, "http://") != nullptr;
}

}  // namespace

extern "C" {

SOURCEKIT_API void* brevacast_open_videodevice(const char* name, int32_t width, int32_t height, float frameRate,
                                               uint32_t fourcc, int32_t crossbarPin, int32_t /*reserved*/,
                                               DeviceCallback callback, void* user) {
    return GuardedOpen(__func__, [&] {
        return CVideoCaptureDevice::Open(name, width, height, frameRate, fourcc, crossbarPin, callback, user).release();
    });
}

SOURCEKIT_API void brevacast_start_videodevice(void* device) {
    if (device == nullptr) return;
    Guarded(__func__, [&] { static_cast<CVideoCaptureDevice*>(device)->Start(); });
}

SOURCEKIT_API void brevacast_stop_videodevice(void* device) {
    if (device == nullptr) return;
    Guarded(__func__, [&] { delete static_cast<CVideoCaptureDevice*>(device); });
}

SOURCEKIT_API void* brevacast_open_audiodevice(const char* name, int32_t channels, int32_t sampleRate,
                                               DeviceCallback callback, void* user) {
    return GuardedOpen(__func__,
                       [&] { return CAudioCaptureDevice::Open(name, channels, sampleRate, callback, user).release(); });
}

SOURCEKIT_API void brevacast_start_audiodevice(void* device) {
    if (device == nullptr) return;
    Guarded(__func__, [&] { static_cast<CAudioCaptureDevice*>(device)->Start(); });
}

SOURCEKIT_API void brevacast_stop_audiodevice(void* device) {
    if (device == nullptr) return;
    Guarded(__func__, [&] { delete static_cast<CAudioCaptureDevice*>(device); });
}

SOURCEKIT_API void* brevacast_open_filedevice(const char* path, int32_t channels, int32_t sampleRate, int32_t* width,
                                              int32_t* height, int32_t* mask, DeviceCallback callback, void* user) {
    return GuardedOpen(__func__, [&]() -> CFDevice* {
        if (path == nullptr) return nullptr;
        if (IsNetworkPath(path)) {
            std::unique_ptr<CNetFDevice> device = CNetFDevice::Open(path, channels, sampleRate, callback, user);
            if (device == nullptr) return nullptr;
            // The stream's size is unknown until it connects; 80 % of the caller's default stands in.
            if (width != nullptr) *width = static_cast<int32_t>(*width * 0.8);
            if (height != nullptr) *height = static_cast<int32_t>(*height * 0.8);
            if (mask != nullptr) *mask = 3;
            return device.release();
        }
        return CLocFDevice::Open(path, nullptr, channels, sampleRate, width, height, mask, callback, user).release();
    });
}

SOURCEKIT_API void brevacast_start_filedevice(void* device) {
    if (device == nullptr) return;
    Guarded(__func__, [&] { static_cast<CFDevice*>(device)->Start(); });
}

SOURCEKIT_API void brevacast_stop_filedevice(void* device) {
    if (device == nullptr) return;
    Guarded(__func__, [&] {
        auto* file = static_cast<CFDevice*>(device);
        file->Stop();
        delete file;
    });
}

SOURCEKIT_API void brevacast_pause_filedevice(void* device, int32_t pause) {
    if (device == nullptr) return;
    Guarded(__func__, [&] { static_cast<CFDevice*>(device)->Pause(pause != 0); });
}

SOURCEKIT_API void brevacast_seek_filedevice(void* device, int32_t position) {
    if (device == nullptr) return;
    Guarded(__func__, [&] { static_cast<CFDevice*>(device)->Seek(position); });
}

SOURCEKIT_API void brevacast_loop_filedevice(void* device, int32_t loop) {
    if (device == nullptr) return;
    Guarded(__func__, [&] { static_cast<CFDevice*>(device)->Loop(loop != 0); });
}

}  // extern "C"
