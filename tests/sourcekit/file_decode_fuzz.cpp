// Fuzz target: a media file given as bytes in memory is opened, probed, decoded, converted to YUY2
// and resampled by the local file device's own code, without its clock. Every delivered byte is read
// so that a wrong size or stride shows up under AddressSanitizer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include "sourcekit/local_file_device.h"

namespace {

constexpr int kMaxPackets = 300;

struct MemoryInput {
    const uint8_t* data;
    size_t size;
    size_t position;
};

int ReadMemory(void* opaque, uint8_t* buffer, int wanted) {
    auto* input = static_cast<MemoryInput*>(opaque);
    if (input->position >= input->size) return AVERROR_EOF;
    const size_t count = std::min(static_cast<size_t>(wanted), input->size - input->position);
    std::memcpy(buffer, input->data + input->position, count);
    input->position += count;
    return static_cast<int>(count);
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
    auto* input = static_cast<MemoryInput*>(opaque);
    int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return static_cast<int64_t>(input->size);
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = static_cast<int64_t>(input->position) + offset;
            break;
        case SEEK_END:
            target = static_cast<int64_t>(input->size) + offset;
            break;
        default:
            return -1;
    }
    if (target < 0 || target > static_cast<int64_t>(input->size)) return -1;
    input->position = static_cast<size_t>(target);
    return target;
}

volatile uint32_t g_sink;

void Consume(int32_t kind, void* /*user*/, int32_t size, void* data, FrameInfo* info) {
    uint32_t sum = 0;
    if (kind == SK_KIND_VIDEO) {
        const auto* image = static_cast<const ImageBuffer*>(data);
        const size_t bytes = static_cast<size_t>(image->strides[0]) * static_cast<size_t>(image->height);
        for (size_t i = 0; i < bytes; ++i) sum += image->planes[0][i];
        sum += static_cast<uint32_t>(info->slots[4]);
    } else if (kind == SK_KIND_AUDIO && size > 0) {
        const auto* pcm = static_cast<const uint8_t*>(data);
        for (int32_t i = 0; i < size; ++i) sum += pcm[i];
        sum += static_cast<uint32_t>(info->slots[3]);
    }
    g_sink = g_sink + sum;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryInput input{data, size, 0};
    constexpr int kBufferSize = 4096;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
    if (buffer == nullptr) return 0;
    AVIOContext* io = avio_alloc_context(buffer, kBufferSize, 0, &input, &ReadMemory, nullptr, &SeekMemory);
    if (io == nullptr) {
        av_free(buffer);
        return 0;
    }
    {
        int32_t width = 640, height = 360, mask = 0;
        std::unique_ptr<CLocFDevice> device =
            CLocFDevice::Open("memory", io, 2, 44100, &width, &height, &mask, &Consume, nullptr);
        if (device != nullptr) device->PlayUnpaced(kMaxPackets);
    }
    av_freep(&io->buffer);
    avio_context_free(&io);
    return 0;
}
