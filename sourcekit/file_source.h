// Media files and network streams: CFDevice is what both device kinds share (the sound info block,
// the resampler and its output buffer, the conversions into the delivered forms) and the interface
// through which the exported file functions drive them. CLocFDevice plays a local file,
// CNetFDevice a network stream (local_file_device.h, net_file_device.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "imaging/image_buffer.h"
#include "sourcekit/av_support.h"
#include "sourcekit/sourcekit.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

// The resampler's output buffer: 16-bit stereo, so 262,144 sample frames per delivery at most.
constexpr size_t kSoundBufferBytes = 1 << 20;

// The thread message that asks a local file's thread to rewind (WM_USER + 222).
constexpr uint32_t kRewindMessage = 0x4DE;

// Planar 8-bit YUV 4:2:0, the only video SourceKit converts (JPEG range included).
inline bool IsPlanar420(int format) { return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P; }

// The decoder of one stream of an open input.
class CStreamDecoder {
public:
    // Allocates, fills from the stream's parameters and opens the decoder; false after the
    // diagnostic line on standard output.
    bool Open(const AVFormatContext* input, int streamIndex);
    void Close() { context_.reset(); }
    bool IsOpen() const { return context_ != nullptr; }
    int Index() const { return index_; }
    AVCodecContext* Context() const { return context_.get(); }

    // Sends packet (null: the input ended, so the frames still held come out) and appends every
    // frame the decoder returns, its pts turned into milliseconds.
    void Decode(const AVPacket* packet, std::deque<FramePtr>* frames);
    void Flush();
    // A decoded frame's duration in milliseconds (0 when unknown).
    int64_t DurationMs(const AVFrame* frame) const;

private:
    CodecContextPtr context_;
    int index_ = -1;
    AVRational timeBase_{1, 1000};
};

// Keeps damaged timestamps from stalling playback: a frame whose time lies more than kMaxJumpMs
// beyond every frame read so far (in any stream) is retimed to follow the latest one. A real gap
// in one stream still plays as a gap while the other streams' frames fill it; times far outside
// any plausible range count as no time at all.
class CTimeJumpGuard {
public:
    static constexpr int64_t kMaxJumpMs = 10000;
    static constexpr int64_t kMaxTimeMs = int64_t{1} << 40;  // about 35 years

    void Reset() { seen_ = false; }
    int64_t Admit(int64_t timeMs, int64_t durationMs);

private:
    bool seen_ = false;
    int64_t latest_ = 0;
};

class CFDevice {
public:
    virtual ~CFDevice();
    CFDevice(const CFDevice&) = delete;
    CFDevice& operator=(const CFDevice&) = delete;

    virtual void Start() {}
    virtual void Stop() {}
    virtual void Seek(int32_t /*position*/) {}
    virtual void Pause(bool /*pause*/) {}
    virtual void Loop(bool /*loop*/) {}

protected:
    CFDevice(int32_t channels, int32_t sampleRate, DeviceCallback callback, void* user);

    // Sets the resampler up for a sound decoder (writing a default channel layout back when the
    // decoder states none). 8-, 16- and 32-bit interleaved integer sound gets no resampler, so it is
    // never delivered.
    void PrepareResampler(AVCodecContext* decoder);
    void ReleaseResampler();

    // Converts one decoded sound frame into the output buffer as 16-bit stereo at the requested rate
    // and calls emit(chunk, bytes, offsetMs) for each filling of the buffer: once for an ordinary
    // frame, more often for a frame whose converted sound would not fit in one (offsetMs is then the
    // chunk's distance from the frame's start). Returns the number of chunks, or -1 when the frame
    // cannot be converted. Conversion input is sized from the resampler's own output estimate, so the
    // buffer is never written past its end whatever the rates and frame sizes.
    template <typename Emit>
    int ConvertSound(const AVFrame* frame, Emit emit);

    // Converts a planar 4:2:0 frame into *image as 'YUY2', creating the image at the frame's size or
    // resizing it in place (the descriptor stays the same object). False for any other frame.
    static bool ConvertVideo(const AVFrame* frame, ImageBufferPtr* image);

    // Hands a decoded frame to the callback, stamped base + the frame's time: a picture in the
    // device's one image, sound as 16-bit stereo chunks. A local file passes on only chunks that carry
    // sound; a network stream (reportEmpty) also reports a first chunk of 0 bytes and a frame that
    // cannot be converted (-1).
    void DeliverVideo(AVFrame* frame, int64_t base);
    void DeliverSound(AVFrame* frame, int64_t base, bool reportEmpty);

    FrameInfo audioInfo_{};
    FrameInfo videoInfo_{};
    ImageBufferPtr image_;
    ResamplerPtr resampler_;
    std::unique_ptr<uint8_t[]> outputBuffer_;
    DeviceCallback callback_;
    void* user_;

private:
    bool SetUpResampler(int format, int rate, const AVChannelLayout& layout);
    // True when the resampler is set up for frame's format, rate and layout (set up again on a change).
    bool MatchResampler(const AVFrame* frame);

    // The input the resampler was last set up for, so that a change is noticed and a refusal is
    // not retried for every frame.
    bool resamplerConfigured_ = false;
    int resampledFormat_ = AV_SAMPLE_FMT_NONE;
    int resampledRate_ = 0;
    AVChannelLayout resampledLayout_{};
    std::vector<const uint8_t*> inputPlanes_;
};

template <typename Emit>
int CFDevice::ConvertSound(const AVFrame* frame, Emit emit) {
    if (frame->ch_layout.nb_channels <= 0 || frame->nb_samples < 0 || !MatchResampler(frame)) return -1;
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int channels = frame->ch_layout.nb_channels;
    const int planes = planar ? channels : 1;
    const size_t stepBytes = static_cast<size_t>(av_get_bytes_per_sample(format)) * (planar ? 1 : channels);
    inputPlanes_.assign(static_cast<size_t>(planes), nullptr);

    constexpr int kMaxOut = static_cast<int>(kSoundBufferBytes / 4);
    const int outRate = audioInfo_.slots[1];
    int inputLeft = frame->nb_samples;
    int64_t consumed = 0;
    int64_t produced = 0;
    int chunks = 0;
    for (;;) {
        int inputCount = inputLeft;
        while (inputCount > 0 && swr_get_out_samples(resampler_.get(), inputCount) > kMaxOut) inputCount /= 2;
        for (int p = 0; p < planes; ++p) {
            inputPlanes_[static_cast<size_t>(p)] = frame->extended_data[p] + static_cast<size_t>(consumed) * stepBytes;
        }
        uint8_t* out = outputBuffer_.get();
        // Input pointers stay set even for a count of 0: a null input would flush the resampler.
        const int converted = swr_convert(resampler_.get(), &out, kMaxOut, inputPlanes_.data(), inputCount);
        if (converted < 0) return chunks > 0 ? chunks : -1;
        emit(chunks, converted * 4, produced * 1000 / outRate);
        ++chunks;
        produced += converted;
        consumed += inputCount;
        inputLeft -= inputCount;
        if (inputLeft == 0 && converted < kMaxOut) break;
        if (inputCount == 0 && converted == 0) break;
    }
    return chunks;
}
