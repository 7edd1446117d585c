// The list part shared by the two process-wide device registries (capture devices and media
// files): open devices by identifier and by name, with the reference counts of their holders.
// The main thread opens and releases devices, the composition thread releases them when a layer
// goes, and SourceKit's callback threads look them up by identifier; every list access holds the
// registry's lock, which is never held while SourceKit opens, starts or stops a device.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Device must offer Name(), Identifier() and a std::atomic<int32_t> references.
template <class Device>
class CDeviceRegistry {
public:
    CDeviceRegistry() = default;
    CDeviceRegistry(const CDeviceRegistry&) = delete;
    CDeviceRegistry& operator=(const CDeviceRegistry&) = delete;

    // The open device with that identifier, or null. A callback may use the result only for its
    // own device: a device stays alive until its SourceKit thread has ended.
    Device* FindById(uint32_t identifier) const {
        std::lock_guard<std::mutex> guard(lock_);
        for (Device* device : devices_)
            if (device->Identifier() == identifier) return device;
        return nullptr;
    }
    // Exact, case-sensitive comparison.
    Device* FindByName(const std::string& name) const {
        std::lock_guard<std::mutex> guard(lock_);
        return FindByNameLocked(name);
    }
    // Takes the device out of the list (it is not stopped); false when it was not there.
    bool Remove(Device* device) {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = std::find(devices_.begin(), devices_.end(), device);
        if (it == devices_.end()) return false;
        devices_.erase(it);
        return true;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> guard(lock_);
        return devices_.size();
    }
    uint32_t NextIdentifier() const {
        std::lock_guard<std::mutex> guard(lock_);
        return nextId_;
    }

    // Drops one reference of a listed device; true when it was the last one: the device has then
    // left the list and the caller stops and destroys it. An open by name that runs at the same
    // time either finds the device before this (and keeps it alive) or opens a new one.
    bool DropReference(Device* device) {
        std::lock_guard<std::mutex> guard(lock_);
        if (--device->references > 0) return false;
        auto it = std::find(devices_.begin(), devices_.end(), device);
        if (it != devices_.end()) devices_.erase(it);
        return true;
    }

protected:
    // The open device of that name with one reference more, or null.
    Device* AcquireByName(const std::string& name) {
        std::lock_guard<std::mutex> guard(lock_);
        Device* device = FindByNameLocked(name);
        if (device != nullptr) ++device->references;
        return device;
    }
    // Lists a device opened with NextIdentifier(); the counter moves on.
    void Append(Device* device) {
        std::lock_guard<std::mutex> guard(lock_);
        devices_.push_back(device);
        ++nextId_;
    }
    // Empties the list and returns what it held, each device with one more reference for the
    // caller: a holder releasing a device meanwhile cannot destroy it under the caller's hands.
    std::vector<Device*> TakeAllHeld() {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<Device*> all;
        all.swap(devices_);
        for (Device* device : all) ++device->references;
        return all;
    }

    // Serialises the opens, so that one name is never opened twice at the same time; held across
    // SourceKit's open, which the list lock never is.
    std::mutex openLock_;

private:
    Device* FindByNameLocked(const std::string& name) const {
        for (Device* device : devices_)
            if (device->Name() == name) return device;
        return nullptr;
    }

    mutable std::mutex lock_;
    std::vector<Device*> devices_;
    uint32_t nextId_ = 0;
};
