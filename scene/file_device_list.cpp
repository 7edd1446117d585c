#include "scene/file_device_list.h"

#include <cstdio>

#include "media/audio_feed.h"
#include "media/audio_mixer.h"
#include "platform/log.h"

std::atomic<CFileDeviceList*> CFileDeviceList::process_{nullptr};

CFileDeviceList::CFileDeviceList(CAudioMixer* mixer, int32_t sampleRate) : mixer_(mixer), sampleRate_(sampleRate) {
    process_ = this;
}

CFileDeviceList::~CFileDeviceList() {
    StopAll();
    CFileDeviceList* self = this;
    process_.compare_exchange_strong(self, nullptr);
}

CFileDevice* CFileDeviceList::OpenFileDevice(const std::string& path, int32_t defaultWidth, int32_t defaultHeight,
                                             int32_t volume, uint32_t playFlags) {
    std::lock_guard<std::mutex> opening(openLock_);
    if (CFileDevice* shared = AcquireByName(path)) return shared;
    const uint32_t identifier = NextIdentifier();
    int32_t width = defaultWidth, height = defaultHeight, mask = 0;
    void* handle =
        brevacast_open_filedevice(path.c_str(), 2, sampleRate_, &width, &height, &mask, &CFileDeviceList::Callback,
                                  reinterpret_cast<void*>(static_cast<uintptr_t>(identifier)));
    if (handle == nullptr) {
        Log(LogLevel::kWarning, "scene", "media \"%s\" could not be opened", path.c_str());
        return nullptr;
    }
    brevacast_loop_filedevice(handle, (playFlags & kPlayLoop) != 0 ? 1 : 0);
    CFileDevice* device =
        Append(std::make_unique<CFileDevice>(path, handle, mask, identifier, width, height, volume, playFlags));
    if (mixer_ != nullptr && device->StreamMask() > 1) mixer_->AddSource(device);
    brevacast_start_filedevice(handle);
    return device;
}

void CFileDeviceList::Retire(CFileDevice* device) {
    device->Stop();
    // Once out of the mixer's list the mixing thread no longer reads this device's packets.
    if (mixer_ != nullptr && device->StreamMask() > 1) mixer_->RemoveSource(device);
}

void CFileDeviceList::SetFileEndedHandler(FileEndedHandler handler) {
    std::lock_guard<std::mutex> guard(engineLock_);
    fileEnded_ = std::move(handler);
}

void CFileDeviceList::SetLiveEngine(const IAudioFeed* engine) {
    std::lock_guard<std::mutex> guard(engineLock_);
    engine_ = engine;
}

bool CFileDeviceList::LiveRunning() const {
    std::lock_guard<std::mutex> guard(engineLock_);
    return engine_ != nullptr && engine_->State() != kEngineIdle;
}

void CFileDeviceList::Callback(int32_t kind, void* user, int32_t size, void* data, FrameInfo* info) {
    CFileDeviceList* registry = process_;
    if (registry == nullptr) return;
    CFileDevice* device = registry->FindById(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user)));
    if (device == nullptr) return;
    switch (kind) {
        case SK_KIND_VIDEO:
            device->DeliverFrame(static_cast<const ImageBuffer*>(data));
            break;
        case SK_KIND_AUDIO:
            if (registry->LiveRunning()) device->AddSound(static_cast<const uint8_t*>(data), size, info);
            break;
        case SK_KIND_END:
            // size 1: the end was reached (0: a loop started over).
            if ((device->PlayFlags() & kPlayHideAtEnd) != 0 && size != 0) {
                FileEndedHandler handler;
                {
                    std::lock_guard<std::mutex> guard(registry->engineLock_);
                    handler = registry->fileEnded_;
                }
                if (handler) handler(device);
            }
            break;
        default:
            break;
    }
}
