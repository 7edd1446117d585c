#include "media/audio_mixer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "media/audio_device.h"
#include "platform/media_clock.h"
#include "platform/pulse/pulse_endpoints.h"
#include "platform/thread_util.h"

namespace {

constexpr uint64_t kSlotUnits = 100000;  // 10 ms in 100-ns units
constexpr int32_t kMixFromSlots = 5;     // mixing starts once this many slots are laid out...
constexpr int32_t kHeadSlots = 5;        // ...and never writes into the newest ones, still being captured
constexpr int32_t kDeliverAtSlots = 60;  // about 600 ms of room for late sources before a block leaves
// A chunk at least this long can never fit between the read slot and the newest slots.
constexpr uint64_t kLongestChunk = static_cast<uint64_t>(kDeliverAtSlots - kHeadSlots) * kSlotUnits;

uint64_t MediaClockNow() { return static_cast<uint64_t>(GetMediaTime100ns()); }

}  // namespace

CAudioMixer::CAudioMixer(int32_t sampleRate) : sampleRate_(sampleRate), clock_(&MediaClockNow), ownThread_(true) {
    InitRing();
    thread_ = StartNamedThread("mixer", ThreadPriority::kTimeCritical, [this] { MixingThread(); });
    std::unique_lock<std::mutex> wait(startedLock_);
    startedSignal_.wait(wait, [this] { return started_; });
}

CAudioMixer::CAudioMixer(int32_t sampleRate, Clock clock)
    : sampleRate_(sampleRate), clock_(std::move(clock)), ownThread_(false) {
    InitRing();
}

CAudioMixer::~CAudioMixer() {
    running_ = false;
    JoinThread(thread_);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    ReleaseDevice(&microphone_);
    ReleaseDevice(&systemSound_);
    soundServer_.reset();
}

std::shared_ptr<CPulseConnection> CAudioMixer::SoundServer() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!soundServer_ || !soundServer_->IsAlive()) {
        soundServer_ = CPulseConnection::Open("pulse", PulseDeadlineIn(std::chrono::milliseconds(3000)));
    }
    return soundServer_;
}

void CAudioMixer::InitRing() {
    slotValues_ = sampleRate_ > 0 ? static_cast<uint32_t>(sampleRate_) * 2 / 100 : 0;
    ringValues_ = slotValues_ * kRingSlots;
    unitsToFrames_ = static_cast<float>(sampleRate_) / 1e7f;
    ring_ = std::make_unique<int16_t[]>(std::max<uint32_t>(ringValues_, 1));
    fill_ = writeSlot_ = readSlot_ = 0;
    ringStart_ = clock_();
}

void CAudioMixer::MixingThread() {
    {
        std::lock_guard<std::mutex> guard(startedLock_);
        started_ = true;
    }
    startedSignal_.notify_all();
    while (running_) {
        Pass();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void CAudioMixer::RunPass() {
    if (!ownThread_) Pass();
}

void CAudioMixer::Pass() {
    if (ringValues_ == 0) return;
    const uint64_t now = clock_();
    if (fill_ < static_cast<int32_t>(kRingSlots) &&
        static_cast<int64_t>(now - ringStart_) > static_cast<int64_t>(fill_) * static_cast<int64_t>(kSlotUnits)) {
        std::memset(ring_.get() + static_cast<size_t>(writeSlot_) * slotValues_, 0, slotValues_ * sizeof(int16_t));
        ++fill_;
        writeSlot_ = (writeSlot_ + 1) % static_cast<int32_t>(kRingSlots);
    }
    if (fill_ >= kMixFromSlots) Mix();
    if (fill_ >= kDeliverAtSlots) Deliver();
}

void CAudioMixer::Mix() {
    // A device being opened holds the lock for as long as the sound server takes to answer; the
    // ring keeps moving meanwhile and the sources catch up on the next passes.
    std::unique_lock<std::recursive_mutex> guard(lock_, std::try_to_lock);
    if (!guard.owns_lock()) return;
    const uint64_t newest = ringStart_ + static_cast<uint64_t>(fill_ - kHeadSlots) * kSlotUnits;
    for (MixSource& mix : sources_) {
        CBaseDevice* source = mix.source;
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        uint64_t ts = 0;
        if (source->GetBuffer(&data, &size, &ts) < 0) continue;
        const uint32_t frames = size / 4;
        const uint64_t dur = static_cast<uint64_t>(frames) * 10000000 / static_cast<uint64_t>(sampleRate_);
        // Too late for the ring, empty, or too long to ever fit: the chunk is of no use.
        if (ts < ringStart_ || data == nullptr || frames == 0 || dur >= kLongestChunk) {
            source->ReleaseBuffer();
            continue;
        }
        // Early: it would reach into the slots still being captured.
        if (ts + dur >= newest) continue;

        const auto tol = static_cast<int64_t>(static_cast<float>(dur) * unitsToFrames_ * 2 * 2);
        const uint32_t offset = 2 * static_cast<uint32_t>(static_cast<float>(ts - ringStart_) * unitsToFrames_);
        const uint32_t pos = (static_cast<uint32_t>(readSlot_) * slotValues_ + offset) % ringValues_;
        const int64_t distance = std::abs(static_cast<int64_t>(pos) - static_cast<int64_t>(mix.writePos));
        // Small timestamp jitter keeps the source writing where it left off, so it opens no gaps and
        // no overlaps; a real gap, or a jump past the tolerance, anchors it at its timestamp again.
        if (ts - mix.lastTimestamp > 2 * dur ||
            (distance > tol && distance < static_cast<int64_t>(ringValues_) - tol)) {
            mix.writePos = pos;
        }
        MixChunk(&mix, data, frames * 2, source->Gain());
        mix.lastTimestamp = ts;
        source->ReleaseBuffer();
    }
}

void CAudioMixer::MixChunk(MixSource* mix, const uint8_t* values, uint32_t count, float gain) {
    if (!(gain == gain)) gain = 0;  // NaN
    int16_t* ring = ring_.get();
    uint32_t pos = mix->writePos % ringValues_;
    while (count > 0) {
        const uint32_t run = std::min(count, ringValues_ - pos);
        int16_t* out = ring + pos;
        for (uint32_t i = 0; i < run; ++i) {
            int16_t v;
            std::memcpy(&v, values + i * sizeof(v), sizeof(v));  // a file source's bytes need not be aligned
            const float sum = static_cast<float>(v) * gain + static_cast<float>(out[i]);
            out[i] = static_cast<int16_t>(std::clamp(sum, -32768.0f, 32767.0f));
        }
        values += run * sizeof(int16_t);
        count -= run;
        pos = (pos + run) % ringValues_;
    }
    mix->writePos = pos;
}

void CAudioMixer::Deliver() {
    const auto t = static_cast<uint32_t>(ringStart_ / 10000);
    {
        std::lock_guard<std::mutex> guard(deliveryLock_);
        // Compared as a difference so that a live across the 32-bit millisecond wrap keeps its sound.
        if (engine_ != nullptr && static_cast<int32_t>(t - timeBase_) >= 0 && IsLiveState(engine_->State()) &&
            engine_->HasAudioEncoder()) {
            const int16_t* block = ring_.get() + static_cast<size_t>(readSlot_) * slotValues_;
            engine_->EncodeAudio(reinterpret_cast<const uint8_t*>(block),
                                 static_cast<int32_t>(slotValues_ * kDeliverySlots * sizeof(int16_t)), t - timeBase_);
        }
    }
    fill_ -= static_cast<int32_t>(kDeliverySlots);
    ringStart_ += kDeliverySlots * kSlotUnits;
    readSlot_ = (readSlot_ + static_cast<int32_t>(kDeliverySlots)) % static_cast<int32_t>(kRingSlots);
}

int32_t CAudioMixer::EnumerateEndpoints(int32_t flow) {
    // The server is asked without the lock (past connecting): an answer can take as long as the
    // server's deadline.
    std::vector<AudioEndpoint> found;
    bool answered = false;
    std::shared_ptr<CPulseConnection> server = SoundServer();
    if (!server) {
        // Nothing to list.
    } else if (flow == kFlowCapture) {
        std::vector<PulseSource> sources;
        answered = ListMicrophones(*server, &sources);
        for (const PulseSource& s : sources) {
            if (s.name.empty() || s.description.empty()) break;
            found.push_back({s.description, s.name, {}});
        }
    } else {
        std::vector<PulseSink> sinks;
        answered = ListSpeakers(*server, &sinks);
        for (const PulseSink& s : sinks) {
            if (s.name.empty() || s.description.empty()) break;
            found.push_back({s.description, s.name, s.monitorSource});
        }
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::vector<AudioEndpoint>& list = flow == kFlowCapture ? microphones_ : speakers_;
    list = std::move(found);
    return answered ? static_cast<int32_t>(list.size()) : -1;
}

void CAudioMixer::ClearEndpoints(int32_t flow) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    (flow == kFlowCapture ? microphones_ : speakers_).clear();
}

std::vector<AudioEndpoint> CAudioMixer::Endpoints(int32_t flow) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return flow == kFlowCapture ? microphones_ : speakers_;
}

void CAudioMixer::SelectDevices(const std::string& microphoneName, const std::string& systemSoundName) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // Compared with the name asked for last time, not the endpoint's: "default" opens an endpoint
    // with a name of its own and must still keep it running when asked for again.
    if (microphone_ == nullptr || microphoneRequest_ != microphoneName) {
        ReleaseDevice(&microphone_);
        microphone_ = CreateDevice(microphoneName, true);
        microphoneRequest_ = microphoneName;
    }
    if (systemSound_ == nullptr || systemSoundRequest_ != systemSoundName) {
        ReleaseDevice(&systemSound_);
        systemSound_ = CreateDevice(systemSoundName, false);
        systemSoundRequest_ = systemSoundName;
    }
}

std::unique_ptr<CAudioDevice> CAudioMixer::CreateDevice(const std::string& name, bool capture) {
    const std::vector<AudioEndpoint>& list = capture ? microphones_ : speakers_;
    auto it = std::find_if(list.begin(), list.end(), [&](const AudioEndpoint& e) { return e.friendlyName == name; });
    auto server = [this] { return SoundServer(); };
    auto device = it != list.end()
                      ? std::make_unique<CAudioDevice>(server, it->friendlyName, it->id, capture, sampleRate_)
                      : std::make_unique<CAudioDevice>(server, "default", std::string(), capture, sampleRate_);
    if (!device->OpenDevice()) return nullptr;
    AddSource(device.get());
    if (!device->StartDevice()) {
        RemoveSource(device.get());
        return nullptr;
    }
    return device;
}

void CAudioMixer::ReleaseDevice(std::unique_ptr<CAudioDevice>* device) {
    if (!*device) return;
    // Out of the mix first: the mixing thread reads sources under the same lock.
    RemoveSource(device->get());
    device->reset();
}

void CAudioMixer::SetMicrophoneGain(float gain) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (microphone_ != nullptr) microphone_->SetGain(gain);
}

void CAudioMixer::SetSystemSoundGain(float gain) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (systemSound_ != nullptr) systemSound_->SetGain(gain);
}

bool CAudioMixer::HasMicrophone() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return microphone_ != nullptr;
}

bool CAudioMixer::HasSystemSound() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return systemSound_ != nullptr;
}

void CAudioMixer::AddSource(CBaseDevice* source) {
    if (source == nullptr) return;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    sources_.push_back(MixSource{source, 0, 0});
}

void CAudioMixer::RemoveSource(CBaseDevice* source) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    sources_.erase(
        std::remove_if(sources_.begin(), sources_.end(), [source](const MixSource& m) { return m.source == source; }),
        sources_.end());
}

void CAudioMixer::AttachEngine(IAudioFeed* engine, uint32_t timeBase) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::lock_guard<std::mutex> delivery(deliveryLock_);
    engine_ = engine;
    timeBase_ = timeBase;
}
