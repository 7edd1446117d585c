#include "media/flv_packet.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kRecordBytes = sizeof(RTMPPacket);
constexpr size_t kBodyOffset = kRecordBytes + kQueuedPacketHeaderRoom;
constexpr uint8_t kRtmpMessageChunkSize = 1;
constexpr int kRtmpControlChannel = 2;
constexpr uint8_t kFlvVideoKeyAvc = 0x17;    // key frame, codec 7 (AVC)
constexpr uint8_t kFlvVideoInterAvc = 0x27;  // inter frame, codec 7
constexpr uint8_t kFlvAudioAac = 0xAF;       // AAC, 44 kHz, 16-bit, stereo: the config carries the real values

void PutBE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void PutBE24(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 16);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v);
}

void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    PutBE24(p + 1, v);
}

uint8_t* Body(RTMPPacket* packet) { return reinterpret_cast<uint8_t*>(packet->m_body); }

void SetHeader(RTMPPacket* packet, uint8_t headerType, uint8_t messageType, int channel, uint32_t timestamp,
               uint32_t bodySize) {
    packet->m_headerType = headerType;
    packet->m_packetType = messageType;
    packet->m_hasAbsTimestamp = 1;
    packet->m_nChannel = channel;
    packet->m_nTimeStamp = timestamp;
    packet->m_nInfoField2 = 0;
    packet->m_nBodySize = bodySize;
}

}  // namespace

void FreeQueuedPacket(RTMPPacket* packet) { std::free(packet); }

QueuedPacketPtr AllocQueuedPacket(uint64_t bodyCapacity) {
    // Refusing here also keeps kBodyOffset + bodyCapacity far from any size_t overflow.
    if (bodyCapacity > kMaxRtmpBodySize) return nullptr;
    auto* block = static_cast<uint8_t*>(std::malloc(kBodyOffset + static_cast<size_t>(bodyCapacity)));
    if (block == nullptr) return nullptr;
    std::memset(block, 0, kBodyOffset);
    auto* packet = reinterpret_cast<RTMPPacket*>(block);
    packet->m_body = reinterpret_cast<char*>(block + kBodyOffset);
    return QueuedPacketPtr(packet);
}

size_t AnnexBStartCodeLength(const uint8_t* data, size_t size) {
    if (data == nullptr) return 0;
    if (size >= 3 && data[0] == 0 && data[1] == 0 && data[2] == 1) return 3;
    if (size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1) return 4;
    return 0;
}

std::vector<uint8_t> AvcDecoderConfig(const uint8_t* sps, size_t spsLength, const uint8_t* pps, size_t ppsLength) {
    // The NAL header byte and the three profile/level bytes after it are copied into the record.
    if (sps == nullptr || pps == nullptr || spsLength < 4 || ppsLength < 1 || spsLength > 0xFFFF ||
        ppsLength > 0xFFFF) {
        return {};
    }
    std::vector<uint8_t> record(11 + spsLength + ppsLength);
    uint8_t* p = record.data();
    p[0] = 0x01;    // configurationVersion
    p[1] = sps[1];  // AVCProfileIndication
    p[2] = sps[2];  // profile_compatibility
    p[3] = sps[3];  // AVCLevelIndication
    p[4] = 0xFF;    // lengthSizeMinusOne = 3
    p[5] = 0xE1;    // one SPS
    PutBE16(p + 6, static_cast<uint32_t>(spsLength));
    std::memcpy(p + 8, sps, spsLength);
    p[8 + spsLength] = 0x01;  // one PPS
    PutBE16(p + 9 + spsLength, static_cast<uint32_t>(ppsLength));
    std::memcpy(p + 11 + spsLength, pps, ppsLength);
    return record;
}

QueuedPacketPtr BuildAvcSequenceHeader(const uint8_t* sps, size_t spsLength, const uint8_t* pps, size_t ppsLength) {
    const size_t spsStart = AnnexBStartCodeLength(sps, spsLength);
    const size_t ppsStart = AnnexBStartCodeLength(pps, ppsLength);
    if (spsStart == 0 || ppsStart == 0) return nullptr;
    const size_t s = spsLength - spsStart;
    const size_t p = ppsLength - ppsStart;
    if (s + p > kAvcSequenceHeaderRoom - 16) return nullptr;
    const std::vector<uint8_t> record = AvcDecoderConfig(sps + spsStart, s, pps + ppsStart, p);
    if (record.empty()) return nullptr;

    QueuedPacketPtr packet = AllocQueuedPacket(kAvcSequenceHeaderRoom);
    if (!packet) return nullptr;
    uint8_t* body = Body(packet.get());
    body[0] = kFlvVideoKeyAvc;
    body[1] = 0x00;  // AVC sequence header
    PutBE24(body + 2, 0);
    std::memcpy(body + 5, record.data(), record.size());
    SetHeader(packet.get(), RTMP_PACKET_SIZE_MEDIUM, kRtmpMessageVideo, kRtmpVideoChannel, 0,
              static_cast<uint32_t>(5 + record.size()));
    return packet;
}

QueuedPacketPtr BuildAvcNalUnit(const uint8_t* nal, uint64_t size, bool keyFrame, int64_t pts, int64_t dts) {
    if (nal == nullptr && size > 0) return nullptr;
    if (size > kMaxRtmpBodySize - 9) return nullptr;
    QueuedPacketPtr packet = AllocQueuedPacket(size + 9);
    if (!packet) return nullptr;
    uint8_t* body = Body(packet.get());
    body[0] = keyFrame ? kFlvVideoKeyAvc : kFlvVideoInterAvc;
    body[1] = 0x01;  // AVC NAL unit
    const uint32_t offset = static_cast<uint32_t>(pts) - static_cast<uint32_t>(dts);
    PutBE24(body + 2, offset & 0xFFFFFF);
    PutBE32(body + 5, static_cast<uint32_t>(size));
    if (size > 0) std::memcpy(body + 9, nal, static_cast<size_t>(size));
    const uint32_t timestamp = dts >= 0 ? static_cast<uint32_t>(dts) : 0;
    SetHeader(packet.get(), RTMP_PACKET_SIZE_LARGE, kRtmpMessageVideo, kRtmpVideoChannel, timestamp,
              static_cast<uint32_t>(size + 9));
    return packet;
}

QueuedPacketPtr BuildAacSequenceHeader(const uint8_t* config, uint64_t length) {
    if (config == nullptr && length > 0) return nullptr;
    if (length > kMaxRtmpBodySize - 2) return nullptr;
    QueuedPacketPtr packet = AllocQueuedPacket(length + 2);
    if (!packet) return nullptr;
    uint8_t* body = Body(packet.get());
    body[0] = kFlvAudioAac;
    body[1] = 0x00;  // AAC sequence header
    if (length > 0) std::memcpy(body + 2, config, static_cast<size_t>(length));
    SetHeader(packet.get(), RTMP_PACKET_SIZE_LARGE, kRtmpMessageAudio, kRtmpAudioChannel, 0,
              static_cast<uint32_t>(length + 2));
    return packet;
}

QueuedPacketPtr BuildAacRawFrame(const uint8_t* frame, uint64_t size, int64_t pts) {
    if (frame == nullptr && size > 0) return nullptr;
    if (size > kMaxRtmpBodySize - 2) return nullptr;
    QueuedPacketPtr packet = AllocQueuedPacket(size + 2);
    if (!packet) return nullptr;
    uint8_t* body = Body(packet.get());
    body[0] = kFlvAudioAac;
    body[1] = 0x01;  // AAC raw
    if (size > 0) std::memcpy(body + 2, frame, static_cast<size_t>(size));
    // A negative time would wrap to the far end of the 32-bit clock and hold the audio queue back for good.
    const uint32_t timestamp = pts >= 0 ? static_cast<uint32_t>(pts) : 0;
    SetHeader(packet.get(), RTMP_PACKET_SIZE_LARGE, kRtmpMessageAudio, kRtmpAudioChannel, timestamp,
              static_cast<uint32_t>(size + 2));
    return packet;
}

QueuedPacketPtr BuildSetChunkSize(uint32_t chunkSize) {
    QueuedPacketPtr packet = AllocQueuedPacket(4);
    if (!packet) return nullptr;
    PutBE32(Body(packet.get()), chunkSize & 0x7FFFFFFF);
    SetHeader(packet.get(), RTMP_PACKET_SIZE_LARGE, kRtmpMessageChunkSize, kRtmpControlChannel, 0, 4);
    return packet;
}
