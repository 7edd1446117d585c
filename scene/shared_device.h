// The part of a capture or media device that layers share: the count of its holders and the owner
// (its registry) that a released reference goes back to. A device made without a registry belongs
// to its holders alone, and the last Release destroys it.
#pragma once

#include <atomic>
#include <cstdint>

#include "media/base_device.h"

class CSharedDevice : public CBaseDevice {
public:
    // Gives the caller's reference back: to the registry while the device is listed, which stops and
    // destroys it after the last one; otherwise the last one destroys it here. Never called from a
    // SourceKit callback (the registry waits for SourceKit's threads).
    void Release() override {
        IDeviceOwner* owner = owner_.load();
        if (owner != nullptr) {
            owner->ReleaseDevice(this);
        } else if (--references <= 0) {
            delete this;
        }
    }
    // The registry lists the device (owner set) or hands it to its holders at shut-down (null).
    void SetOwner(IDeviceOwner* owner) { owner_ = owner; }

    // Holders, one reference each; changed by the registry under its lock while the device is listed.
    std::atomic<int32_t> references{1};

private:
    std::atomic<IDeviceOwner*> owner_{nullptr};
};
