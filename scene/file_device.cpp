#include "scene/file_device.h"

#include <cstring>

#include "platform/media_clock.h"
#include "sourcekit/sourcekit.h"

CFileDevice::CFileDevice(const std::string& path, void* handle, int32_t streamMask, uint32_t identifier, int32_t width,
                         int32_t height, int32_t volume, uint32_t playFlags)
    : width(width),
      height(height),
      playFlags_(playFlags),
      path_(path),
      handle_(handle),
      identifier_(identifier),
      streamMask_(streamMask) {
    SetGain(static_cast<float>(volume) / 100.0f);
}

CFileDevice::~CFileDevice() { Stop(); }

void CFileDevice::Stop() {
    void* handle = handle_;
    handle_ = nullptr;
    brevacast_stop_filedevice(handle);
}

int32_t CFileDevice::CopyLatestFrame(ImageBuffer** image) {
    if (!HasVideo()) return -1;
    return latest_.CopyTo(image);
}

void CFileDevice::DeliverFrame(const ImageBuffer* frame) { latest_.Store(frame, false); }

void CFileDevice::AddSound(const uint8_t* data, int32_t size, const FrameInfo* info) {
    if (size <= 0 || data == nullptr || info == nullptr) return;
    SoundPacket packet;
    packet.size = static_cast<uint32_t>(size);
    packet.data.reset(new uint8_t[packet.size]);
    std::memcpy(packet.data.get(), data, packet.size);
    const int64_t ms = UnwrapMediaTimeMs(static_cast<uint32_t>(info->slots[3]), GetMediaTimeMs());
    packet.timestamp = static_cast<uint64_t>(ms > 0 ? ms : 0) * 10000;
    SoundPacket dropped;
    std::lock_guard<std::mutex> guard(soundLock_);
    sound_.push_back(std::move(packet));
    if (sound_.size() > kMaxSoundPackets) {
        dropped = std::move(sound_.front());  // freed after the lock is let go
        sound_.pop_front();
    }
}

int32_t CFileDevice::GetBuffer(const uint8_t** data, uint32_t* bytes, uint64_t* timestamp) {
    std::lock_guard<std::mutex> guard(soundLock_);
    if (!lent_.data) {
        if (sound_.empty()) return -1;
        lent_ = std::move(sound_.front());
        sound_.pop_front();
    }
    *data = lent_.data.get();
    *bytes = lent_.size;
    *timestamp = lent_.timestamp;
    return 1;
}

int32_t CFileDevice::ReleaseBuffer() {
    SoundPacket released;
    std::lock_guard<std::mutex> guard(soundLock_);
    if (lent_.data) {
        released = std::move(lent_);
        lent_ = SoundPacket{};
    } else if (!sound_.empty()) {
        released = std::move(sound_.front());
        sound_.pop_front();
    }
    return 0;
}

size_t CFileDevice::QueuedSound() const {
    std::lock_guard<std::mutex> guard(soundLock_);
    return sound_.size();
}

void CFileDevice::Seek(int32_t position) {
    brevacast_seek_filedevice(handle_, position);
    latest_.Drop();
}

void CFileDevice::Pause(int32_t flag) { brevacast_pause_filedevice(handle_, flag); }

void CFileDevice::SetPlayOptions(int32_t volume, uint32_t playFlags) {
    playFlags_ = playFlags;
    SetGain(static_cast<float>(volume) / 100.0f);
    brevacast_loop_filedevice(handle_, (playFlags & kPlayLoop) != 0 ? 1 : 0);
}
