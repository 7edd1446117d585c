#include "imaging/image_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ImageBuffer, CreatesPackedDescriptorForEachFourcc) {
    const struct {
        uint32_t fourcc;
        int stride;
    } cases[] = {{kFourccRV32, 28}, {kFourccRV24, 21}, {kFourccYUY2, 14}, {MakeFourcc('N', 'V', '1', '2'), 14}};
    for (const auto& c : cases) {
        ImageBufferPtr buffer(CreateImageBuffer(7, 5, c.fourcc));
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->strides[0], c.stride);
        EXPECT_EQ(buffer->strides[1] | buffer->strides[2] | buffer->strides[3], 0);
        EXPECT_EQ(buffer->planes[1], nullptr);
        EXPECT_EQ(buffer->planes[3], nullptr);
        EXPECT_EQ(buffer->width, 7);
        EXPECT_EQ(buffer->height, 5);
        EXPECT_EQ(buffer->fourcc, c.fourcc);
        EXPECT_EQ(buffer->fixed[0], -1);
        EXPECT_EQ(buffer->fixed[1], 1);
        EXPECT_EQ(buffer->fixed[2], 1);
        EXPECT_EQ(buffer->timestamp, 0u);
        EXPECT_EQ(buffer->reserved[0] | buffer->reserved[1], 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer->planes[0]) % 64, 0u);
        // The whole stride x height block belongs to the buffer (the sanitizer build checks this).
        std::memset(buffer->planes[0], 0xAB, static_cast<size_t>(c.stride) * 5);
    }
}

TEST(ImageBuffer, RefusesEmptyAndOversizedGeometry) {
    EXPECT_EQ(CreateImageBuffer(0, 10, kFourccRV24), nullptr);
    EXPECT_EQ(CreateImageBuffer(10, -1, kFourccRV24), nullptr);
    EXPECT_EQ(CreateImageBuffer(16385, 16, kFourccRV32), nullptr);
    EXPECT_EQ(CreateImageBuffer(16, 1 << 30, kFourccRV32), nullptr);
    ImageBufferPtr largest(CreateImageBuffer(16384, 1, kFourccRV32));
    EXPECT_NE(largest, nullptr);
}

TEST(ImageBuffer, FreeAcceptsNull) { FreeImageBuffer(nullptr); }
