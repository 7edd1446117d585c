// The four FLV-style RTMP messages the live engine publishes (AVC sequence header, AVC NAL unit, AAC sequence
// header, AAC raw frame) and the queued packet that carries each one: librtmp's RTMPPacket, the 18 bytes librtmp
// writes its chunk header into, and the body, all in one malloc block handed to RTMP_SendPacket as it is.
// The builders run on the producer threads (and on the send thread after a reconnection); they share nothing.
#pragma once

#include <librtmp/rtmp.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

constexpr int kRtmpVideoChannel = 4;
constexpr int kRtmpAudioChannel = 5;
constexpr uint8_t kRtmpMessageAudio = 8;
constexpr uint8_t kRtmpMessageVideo = 9;
// librtmp writes the chunk header (at most RTMP_MAX_HEADER_SIZE bytes) right in front of the body.
constexpr size_t kQueuedPacketHeaderRoom = RTMP_MAX_HEADER_SIZE;
// The room of an AVC sequence header body; the parameter sets must leave 16 bytes of it for the record.
constexpr uint32_t kAvcSequenceHeaderRoom = 512;
// An RTMP message header carries the body length in 24 bits: a longer body cannot be sent at all.
constexpr uint64_t kMaxRtmpBodySize = 0xFFFFFF;

// Frees a queued packet; null is allowed.
void FreeQueuedPacket(RTMPPacket* packet);
struct QueuedPacketFree {
    void operator()(RTMPPacket* packet) const { FreeQueuedPacket(packet); }
};
using QueuedPacketPtr = std::unique_ptr<RTMPPacket, QueuedPacketFree>;

// One block with room for bodyCapacity body bytes, the record and the header room zeroed and m_body pointing
// into the block. Null when the size cannot be represented on the wire or memory runs out.
QueuedPacketPtr AllocQueuedPacket(uint64_t bodyCapacity);

// The length of the Annex B start code (00 00 01 or 00 00 00 01) at data, or 0 when there is none.
size_t AnnexBStartCodeLength(const uint8_t* data, size_t size);

// The AVCDecoderConfigurationRecord for one SPS and one PPS given without their start codes: the body of the
// AVC sequence header from its sixth byte on, and the avcC box of an MP4 track. Empty when the SPS is too short
// to hold the profile and level bytes or either set does not fit its 16-bit length.
std::vector<uint8_t> AvcDecoderConfig(const uint8_t* sps, size_t spsLength, const uint8_t* pps, size_t ppsLength);

// Sequence and picture parameter sets as the encoder returns them, each beginning with its start code.
// Null when either set is empty or too short, or both together exceed the 496 bytes the block has room for.
QueuedPacketPtr BuildAvcSequenceHeader(const uint8_t* sps, size_t spsLength, const uint8_t* pps, size_t ppsLength);

// One slice without its start code. The timestamp is the dts, or 0 when the dts is negative; the composition
// offset pts - dts travels in 24 bits. Null when the body would not fit a message.
QueuedPacketPtr BuildAvcNalUnit(const uint8_t* nal, uint64_t size, bool keyFrame, int64_t pts, int64_t dts);

// The AudioSpecificConfig the AAC encoder reports.
QueuedPacketPtr BuildAacSequenceHeader(const uint8_t* config, uint64_t length);

// One raw AAC frame (no ADTS header), stamped with its pts; a negative pts counts as 0.
QueuedPacketPtr BuildAacRawFrame(const uint8_t* frame, uint64_t size, int64_t pts);

// The Set Chunk Size control message (type 1) that tells the server the size of the chunks that follow.
QueuedPacketPtr BuildSetChunkSize(uint32_t chunkSize);
