// The list part shared by the two process-wide device registries (capture devices and media
// files). The registry owns every open device and counts its holders; a holder (a layer) gives its
// reference back through the device's Release, which reaches the registry through the narrow
// IDeviceOwner the registry gave the device. The main thread opens devices, the main and
// composition threads release them, and SourceKit's callback threads look them up by identifier;
// every list access holds the registry's lock, which is never held while SourceKit opens, starts or
// stops a device.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/base_device.h"

// Device must derive from CBaseDevice and offer Name(), Identifier(), a std::atomic<int32_t>
// references and SetOwner(IDeviceOwner*).
template <class Device>
class CDeviceRegistry : public IDeviceOwner {
public:
    CDeviceRegistry() = default;
    CDeviceRegistry(const CDeviceRegistry&) = delete;
    CDeviceRegistry& operator=(const CDeviceRegistry&) = delete;
    ~CDeviceRegistry() override = default;

    // The open device with that identifier, or null. A callback may use the result only for its
    // own device: a device stays alive until its SourceKit thread has ended.
    Device* FindById(uint32_t identifier) const {
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& device : devices_)
            if (device->Identifier() == identifier) return device.get();
        return nullptr;
    }
    // Exact, case-sensitive comparison.
    Device* FindByName(const std::string& name) const {
        std::lock_guard<std::mutex> guard(lock_);
        return FindByNameLocked(name);
    }
    size_t Count() const {
        std::lock_guard<std::mutex> guard(lock_);
        return devices_.size();
    }
    uint32_t NextIdentifier() const {
        std::lock_guard<std::mutex> guard(lock_);
        return nextId_;
    }

    // A holder gives its reference back; the last one takes the device out of the list, and the
    // registry stops it (waiting for SourceKit's threads) and destroys it. An open by name that runs
    // at the same time either finds the device before this (and keeps it alive) or opens a new one.
    void ReleaseDevice(CBaseDevice* base) override {
        auto* device = static_cast<Device*>(base);
        std::unique_ptr<Device> last;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (--device->references > 0) return;
            auto it = std::find_if(devices_.begin(), devices_.end(),
                                   [device](const std::unique_ptr<Device>& d) { return d.get() == device; });
            if (it == devices_.end()) return;
            last = std::move(*it);
            devices_.erase(it);
        }
        Retire(last.get());
    }

    // Shut-down: stops every device and empties the list. A device that still has holders is handed
    // over to them (stopped, it delivers nothing more) and destroyed by the last Release.
    void StopAll() {
        std::vector<std::unique_ptr<Device>> all;
        {
            std::lock_guard<std::mutex> guard(lock_);
            all.swap(devices_);
            // The registry's own hold: a holder releasing meanwhile cannot destroy a device under it.
            for (auto& device : all) ++device->references;
        }
        for (auto& device : all) {
            Retire(device.get());
            device->SetOwner(nullptr);
            device.release()->Release();
        }
    }

protected:
    // Stops the device and takes it out of whatever it feeds; it is destroyed right after.
    virtual void Retire(Device* device) = 0;

    // The open device of that name with one reference more, or null.
    Device* AcquireByName(const std::string& name) {
        std::lock_guard<std::mutex> guard(lock_);
        Device* device = FindByNameLocked(name);
        if (device != nullptr) ++device->references;
        return device;
    }
    // Lists a device opened with NextIdentifier(), holding one reference for its opener; the counter
    // moves on.
    Device* Append(std::unique_ptr<Device> device) {
        std::lock_guard<std::mutex> guard(lock_);
        device->SetOwner(this);
        devices_.push_back(std::move(device));
        ++nextId_;
        return devices_.back().get();
    }

    // Serialises the opens, so that one name is never opened twice at the same time; held across
    // SourceKit's open, which the list lock never is.
    std::mutex openLock_;

private:
    Device* FindByNameLocked(const std::string& name) const {
        for (const auto& device : devices_)
            if (device->Name() == name) return device.get();
        return nullptr;
    }

    mutable std::mutex lock_;
    std::vector<std::unique_ptr<Device>> devices_;
    uint32_t nextId_ = 0;
};
