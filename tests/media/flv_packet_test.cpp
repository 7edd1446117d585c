// The four RTMP messages byte for byte, and the queued packet librtmp writes its header into.
#include "media/flv_packet.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

std::vector<uint8_t> BodyOf(const RTMPPacket* packet) {
    const auto* body = reinterpret_cast<const uint8_t*>(packet->m_body);
    return {body, body + packet->m_nBodySize};
}

// A parameter set of `length` bytes including its 4-byte start code: NAL header, then bytes counting up.
std::vector<uint8_t> ParameterSet(uint8_t nalHeader, size_t length) {
    std::vector<uint8_t> unit = {0, 0, 0, 1, nalHeader};
    for (size_t i = unit.size(); i < length; ++i) unit.push_back(static_cast<uint8_t>(0x40 + i));
    return unit;
}

}  // namespace

TEST(AvcSequenceHeader, Sps25AndPps8GiveA41ByteRecord) {
    const std::vector<uint8_t> sps = ParameterSet(0x67, 25);
    const std::vector<uint8_t> pps = ParameterSet(0x68, 8);
    QueuedPacketPtr packet = BuildAvcSequenceHeader(sps.data(), sps.size(), pps.data(), pps.size());
    ASSERT_TRUE(packet);
    const std::vector<uint8_t> body = BodyOf(packet.get());
    ASSERT_EQ(body.size(), 41u);
    EXPECT_EQ(packet->m_nBodySize, 16u + 21u + 4u);
    const std::vector<uint8_t> head = {0x17,   0x00,   0x00, 0x00, 0x00, 0x01, sps[5],
                                       sps[6], sps[7], 0xFF, 0xE1, 0x00, 21};
    EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 13), head);
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 13, body.begin() + 34),
              std::vector<uint8_t>(sps.begin() + 4, sps.end()));
    EXPECT_EQ(body[34], 0x01);
    EXPECT_EQ(body[35], 0x00);
    EXPECT_EQ(body[36], 0x04);
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 37, body.end()), std::vector<uint8_t>(pps.begin() + 4, pps.end()));
}

TEST(AvcSequenceHeader, TravelsAsAVideoMessageAtTimeZeroOnChannelFour) {
    const std::vector<uint8_t> sps = ParameterSet(0x67, 25);
    const std::vector<uint8_t> pps = ParameterSet(0x68, 8);
    QueuedPacketPtr packet = BuildAvcSequenceHeader(sps.data(), sps.size(), pps.data(), pps.size());
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->m_headerType, RTMP_PACKET_SIZE_MEDIUM);
    EXPECT_EQ(packet->m_packetType, 9);
    EXPECT_EQ(packet->m_hasAbsTimestamp, 1);
    EXPECT_EQ(packet->m_nChannel, 4);
    EXPECT_EQ(packet->m_nTimeStamp, 0u);
}

TEST(AvcSequenceHeader, ParameterSetsBeyondTheBlockAreRefused) {
    const std::vector<uint8_t> pps = ParameterSet(0x68, 8);
    // 492 + 4 bytes without start codes still fit the 512-byte body; one more does not.
    const std::vector<uint8_t> fits = ParameterSet(0x67, 4 + 492);
    const std::vector<uint8_t> tooLong = ParameterSet(0x67, 4 + 493);
    QueuedPacketPtr packet = BuildAvcSequenceHeader(fits.data(), fits.size(), pps.data(), pps.size());
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->m_nBodySize, 512u);
    EXPECT_FALSE(BuildAvcSequenceHeader(tooLong.data(), tooLong.size(), pps.data(), pps.size()));
}

TEST(AvcSequenceHeader, AnSpsTooShortForTheProfileBytesIsRefused) {
    const std::vector<uint8_t> sps = {0, 0, 0, 1, 0x67, 0x64};
    const std::vector<uint8_t> pps = ParameterSet(0x68, 8);
    EXPECT_FALSE(BuildAvcSequenceHeader(sps.data(), sps.size(), pps.data(), pps.size()));
}

TEST(AvcNalUnit, NonKeySliceOf1000BytesWithPts1040Dts1000) {
    std::vector<uint8_t> slice(1000);
    for (size_t i = 0; i < slice.size(); ++i) slice[i] = static_cast<uint8_t>(i);
    QueuedPacketPtr packet = BuildAvcNalUnit(slice.data(), slice.size(), false, 1040, 1000);
    ASSERT_TRUE(packet);
    const std::vector<uint8_t> body = BodyOf(packet.get());
    ASSERT_EQ(body.size(), 1009u);
    const std::vector<uint8_t> head = {0x27, 0x01, 0x00, 0x00, 0x28, 0x00, 0x00, 0x03, 0xE8};
    EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 9), head);
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 9, body.end()), slice);
    EXPECT_EQ(packet->m_nTimeStamp, 1000u);
    EXPECT_EQ(packet->m_headerType, RTMP_PACKET_SIZE_LARGE);
    EXPECT_EQ(packet->m_packetType, 9);
    EXPECT_EQ(packet->m_nChannel, 4);
}

TEST(AvcNalUnit, KeySliceWithNegativeDtsGetsTimeZeroAndOffset80) {
    const std::vector<uint8_t> slice = {0x65, 0x88, 0x84};
    QueuedPacketPtr packet = BuildAvcNalUnit(slice.data(), slice.size(), true, 0, -80);
    ASSERT_TRUE(packet);
    const std::vector<uint8_t> body = BodyOf(packet.get());
    EXPECT_EQ(packet->m_nTimeStamp, 0u);
    EXPECT_EQ(body[0], 0x17);
    EXPECT_EQ(body[1], 0x01);
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 2, body.begin() + 5), std::vector<uint8_t>({0x00, 0x00, 0x50}));
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 5, body.begin() + 9), std::vector<uint8_t>({0, 0, 0, 3}));
}

TEST(AvcNalUnit, SizesThatCannotTravelYieldNoPacket) {
    const uint8_t byte = 0x41;
    // Would wrap a 32-bit allocation size.
    EXPECT_FALSE(BuildAvcNalUnit(&byte, std::numeric_limits<uint32_t>::max() - 4, false, 0, 0));
    // The message length field has 24 bits: 0xFFFFFF - 9 bytes is the longest slice it can describe.
    EXPECT_FALSE(BuildAvcNalUnit(&byte, 0xFFFFFF - 8, false, 0, 0));
    EXPECT_FALSE(BuildAacRawFrame(&byte, std::numeric_limits<uint64_t>::max(), 0));
}

TEST(AacSequenceHeader, TwoByteConfigGivesAF00AndTheTwoBytes) {
    const uint8_t config[2] = {0x12, 0x10};
    QueuedPacketPtr packet = BuildAacSequenceHeader(config, 2);
    ASSERT_TRUE(packet);
    EXPECT_EQ(BodyOf(packet.get()), std::vector<uint8_t>({0xAF, 0x00, 0x12, 0x10}));
    EXPECT_EQ(packet->m_packetType, 8);
    EXPECT_EQ(packet->m_nChannel, 5);
    EXPECT_EQ(packet->m_headerType, RTMP_PACKET_SIZE_LARGE);
    EXPECT_EQ(packet->m_nTimeStamp, 0u);
}

TEST(AacRawFrame, CarriesTheFrameAtItsPtsAlwaysBehindAF01) {
    const std::vector<uint8_t> frame = {1, 2, 3, 4, 5};
    QueuedPacketPtr packet = BuildAacRawFrame(frame.data(), frame.size(), 4321);
    ASSERT_TRUE(packet);
    EXPECT_EQ(BodyOf(packet.get()), std::vector<uint8_t>({0xAF, 0x01, 1, 2, 3, 4, 5}));
    EXPECT_EQ(packet->m_nBodySize, 7u);
    EXPECT_EQ(packet->m_nTimeStamp, 4321u);
}

TEST(QueuedPacket, LeavesEighteenZeroedBytesBeforeTheBodyInTheSameBlock) {
    const std::vector<uint8_t> frame(10, 0xEE);
    QueuedPacketPtr packet = BuildAacRawFrame(frame.data(), frame.size(), 0);
    ASSERT_TRUE(packet);
    const auto* block = reinterpret_cast<const uint8_t*>(packet.get());
    const auto* body = reinterpret_cast<const uint8_t*>(packet->m_body);
    EXPECT_EQ(body - block, static_cast<ptrdiff_t>(sizeof(RTMPPacket) + RTMP_MAX_HEADER_SIZE));
    for (size_t i = 0; i < RTMP_MAX_HEADER_SIZE; ++i) EXPECT_EQ(body[-1 - static_cast<ptrdiff_t>(i)], 0) << i;
    EXPECT_EQ(packet->m_nInfoField2, 0);
    EXPECT_EQ(packet->m_chunk, nullptr);
}

TEST(SetChunkSize, Announces2048AsAControlMessage) {
    QueuedPacketPtr packet = BuildSetChunkSize(2048);
    ASSERT_TRUE(packet);
    EXPECT_EQ(BodyOf(packet.get()), std::vector<uint8_t>({0x00, 0x00, 0x08, 0x00}));
    EXPECT_EQ(packet->m_packetType, 1);
    EXPECT_EQ(packet->m_nChannel, 2);
    EXPECT_EQ(packet->m_nInfoField2, 0);
}
