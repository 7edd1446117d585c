// The program's one audio hub. It keeps the lists of microphones and outputs, owns the selected
// microphone and system-sound devices, accepts other sound sources (media files and streams, which
// their registry adds and removes), and
// runs the "mixer" thread that lays every source's chunks into a one-second ring of 16-bit stereo by
// their timestamps and, while a live runs, hands the engine 40 ms blocks stamped in milliseconds
// since go-live. It lives from start-up to shut-down and mixes even when no live runs.
// Everything but the mixing itself is called on the main window's thread (file sources add and
// remove themselves from their own threads).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/audio_feed.h"
#include "media/base_device.h"

class CAudioDevice;
class CPulseConnection;

// One microphone or output as the sound server lists it.
struct AudioEndpoint {
    std::string friendlyName;
    std::string id;
    std::string monitor;  // outputs: the source that carries what they play
};

// One source in the mix, with where it writes next.
struct MixSource {
    CBaseDevice* source = nullptr;
    uint32_t writePos = 0;       // ring value the source writes next
    uint64_t lastTimestamp = 0;  // of the last chunk mixed; 0 when added
};

class CAudioMixer {
public:
    static constexpr int32_t kFlowRender = 0;   // outputs (system sound)
    static constexpr int32_t kFlowCapture = 1;  // microphones
    static constexpr uint32_t kRingSlots = 100;
    static constexpr uint32_t kDeliverySlots = 4;  // 40 ms

    // Now on the media clock, in 100-ns units.
    using Clock = std::function<uint64_t()>;

    // Starts the mixing thread on the media clock and returns once it runs.
    explicit CAudioMixer(int32_t sampleRate);
    // A mixer without a thread of its own on the given clock: the caller runs the passes (RunPass).
    CAudioMixer(int32_t sampleRate, Clock clock);
    // Stops the thread and releases both devices.
    ~CAudioMixer();
    CAudioMixer(const CAudioMixer&) = delete;
    CAudioMixer& operator=(const CAudioMixer&) = delete;

    // Replaces the list of the flow with what the sound server lists now; returns its length, or -1
    // (list emptied) when no server answers.
    int32_t EnumerateEndpoints(int32_t flow);
    void ClearEndpoints(int32_t flow);
    std::vector<AudioEndpoint> Endpoints(int32_t flow) const;

    // Opens the named microphone and output (names from the lists; any other name means the
    // default endpoint). A kind whose name is unchanged keeps its running device; one that fails to
    // open stays silent until the next call.
    void SelectDevices(const std::string& microphoneName, const std::string& systemSoundName);
    void SetMicrophoneGain(float gain);
    void SetSystemSoundGain(float gain);
    bool HasMicrophone() const;
    bool HasSystemSound() const;

    void AddSource(CBaseDevice* source);
    void RemoveSource(CBaseDevice* source);

    // Feeds the engine from the first block at or after timeBase (milliseconds of the media clock);
    // null detaches, and returns only once a block being encoded has been delivered.
    void AttachEngine(IAudioFeed* engine, uint32_t timeBase);

    // One pass of the mixing loop (lay out, mix, deliver); the thread runs one every millisecond.
    // Only for a mixer built without its thread.
    void RunPass();

    // The program's connection to the sound server, made again when the server went away; null when
    // none answers. Devices and listings share it.
    std::shared_ptr<CPulseConnection> SoundServer();

    int32_t SampleRate() const { return sampleRate_; }
    // 16-bit values in one 10 ms slot: 882 at 44100 Hz.
    uint32_t SlotValues() const { return slotValues_; }

private:
    void InitRing();
    void MixingThread();
    void Pass();
    void Mix();
    void MixChunk(MixSource* mix, const uint8_t* values, uint32_t count, float gain);
    void Deliver();
    std::unique_ptr<CAudioDevice> CreateDevice(const std::string& name, bool capture);
    void ReleaseDevice(std::unique_ptr<CAudioDevice>* device);

    const int32_t sampleRate_;
    const Clock clock_;
    const bool ownThread_;
    std::atomic<bool> running_{true};
    std::thread thread_;
    std::mutex startedLock_;
    std::condition_variable startedSignal_;
    bool started_ = false;

    // Guards the lists, the two devices and the sources. Re-entrant: creating a device adds it as
    // a source while the lock is held.
    mutable std::recursive_mutex lock_;
    std::vector<AudioEndpoint> microphones_;
    std::vector<AudioEndpoint> speakers_;
    std::vector<MixSource> sources_;
    std::unique_ptr<CAudioDevice> microphone_;
    std::unique_ptr<CAudioDevice> systemSound_;
    std::string microphoneRequest_;
    std::string systemSoundRequest_;
    std::shared_ptr<CPulseConnection> soundServer_;

    // The ring and its cursors belong to the mixing pass.
    std::unique_ptr<int16_t[]> ring_;
    int32_t fill_ = 0;
    int32_t writeSlot_ = 0;
    int32_t readSlot_ = 0;
    uint64_t ringStart_ = 0;
    uint32_t slotValues_ = 0;
    uint32_t ringValues_ = 0;
    float unitsToFrames_ = 0;

    // The engine link; delivery holds deliveryLock_ for the whole Encode call.
    std::mutex deliveryLock_;
    IAudioFeed* engine_ = nullptr;
    uint32_t timeBase_ = 0;
};
