// The process's media files and network streams: the registry owns them, shares them by path among
// the media layers and puts those with sound into the audio mixer. One per process, made at start-up
// after the audio mixer and destroyed before it; SourceKit's callbacks for every file device reach
// the newest registry. Opened on the main thread, released on the main and composition threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "scene/device_registry.h"
#include "scene/file_device.h"
#include "sourcekit/sourcekit.h"

class CAudioMixer;
class IAudioFeed;

class CFileDeviceList : public CDeviceRegistry<CFileDevice> {
public:
    // mixer may be null (no sound is mixed then); sampleRate is what SourceKit resamples to.
    CFileDeviceList(CAudioMixer* mixer, int32_t sampleRate);
    // StopAll; holders must have released their devices before (the scene goes first).
    ~CFileDeviceList();

    // The open device of that path with one more reference, or a newly opened and started one
    // (video size defaulting to the given one, volume in percent, PlayFlag bits); null when
    // SourceKit cannot open it (the caller shows text 21).
    CFileDevice* OpenFileDevice(const std::string& path, int32_t defaultWidth, int32_t defaultHeight, int32_t volume,
                                uint32_t playFlags);
    // Who hears that a file played to its end with "hide at the end" set (a SourceKit thread calls
    // it): the scene's owner routes it to the scene. Set before devices open, or left empty.
    using FileEndedHandler = std::function<void(const CFileDevice* device)>;
    void SetFileEndedHandler(FileEndedHandler handler);

    // The live engine whose state decides whether media sound is taken (only while a live runs);
    // null when there is none. Set before the engine starts and cleared before it is destroyed.
    void SetLiveEngine(const IAudioFeed* engine);
    bool LiveRunning() const;

    CAudioMixer* Mixer() const { return mixer_; }
    int32_t SampleRate() const { return sampleRate_; }

    // SourceKit's callback for every file device; user carries the device's identifier.
    static void Callback(int32_t kind, void* user, int32_t size, void* data, FrameInfo* info);

private:
    void Retire(CFileDevice* device) override;

    CAudioMixer* const mixer_;
    const int32_t sampleRate_;
    mutable std::mutex engineLock_;
    const IAudioFeed* engine_ = nullptr;
    FileEndedHandler fileEnded_;

    static std::atomic<CFileDeviceList*> process_;
};
