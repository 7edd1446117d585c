// What the hardware H.264 encoder costs the composition thread per frame on our side: the YUY2 to NV12 copy into a
// pooled surface, collecting a slot, the NAL split with the nal_ref_idc correction and the sink calls. The runtime
// here answers at once with a canned 1080p-sized frame, so only our work is measured.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <vector>

#include "media/intel_codec_rules.h"
#include "media/intel_h264_codec.h"

namespace {

// A frame of about `bytes` bytes in four slices of random payload, with emulation prevention applied so that start
// codes appear only where they belong, as in an encoder's output.
std::vector<uint8_t> CannedFrame(size_t bytes) {
    std::vector<uint8_t> frame;
    uint32_t seed = 12345;
    const size_t slice = bytes / 4;
    for (int s = 0; s < 4; ++s) {
        frame.insert(frame.end(), {0, 0, 0, 1, 0x61});
        int zeros = 0;
        for (size_t i = 0; i < slice; ++i) {
            seed = seed * 1664525u + 1013904223u;
            // Zero bytes more often than chance, as real slice data has them.
            uint8_t b = (seed >> 28) == 0 ? 0 : static_cast<uint8_t>(seed >> 20);
            if (zeros >= 2 && b <= 3) {
                frame.push_back(3);
                zeros = 0;
            }
            frame.push_back(b);
            zeros = b == 0 ? zeros + 1 : 0;
        }
        frame.push_back(0x80);
    }
    return frame;
}

class InstantEncoder : public IMfxVideoEncoder {
public:
    explicit InstantEncoder(std::map<mfxSyncPoint, mfxBitstream*>* pending) : pending_(pending) {}
    mfxStatus Query(mfxVideoParam*, mfxVideoParam*) override { return MFX_ERR_NONE; }
    mfxStatus QueryIOSurf(mfxVideoParam*, mfxFrameAllocRequest* request) override {
        request->NumFrameSuggested = 4;
        return MFX_ERR_NONE;
    }
    mfxStatus Init(mfxVideoParam*) override { return MFX_ERR_NONE; }
    mfxStatus GetVideoParam(mfxVideoParam* params) override {
        params->AsyncDepth = 2;
        params->mfx.BufferSizeInKB = 512;
        auto* record = reinterpret_cast<mfxExtCodingOptionSPSPPS*>(params->ExtParam[0]);
        const uint8_t sps[] = {0, 0, 0, 1, 0x67, 0x64};
        const uint8_t pps[] = {0, 0, 0, 1, 0x68, 0xEE};
        std::memcpy(record->SPSBuffer, sps, sizeof(sps));
        std::memcpy(record->PPSBuffer, pps, sizeof(pps));
        record->SPSBufSize = sizeof(sps);
        record->PPSBufSize = sizeof(pps);
        return MFX_ERR_NONE;
    }
    mfxStatus EncodeFrameAsync(mfxEncodeCtrl*, mfxFrameSurface1* surface, mfxBitstream* bitstream,
                               mfxSyncPoint* sync) override {
        if (surface == nullptr) return MFX_ERR_MORE_DATA;
        *sync = reinterpret_cast<mfxSyncPoint>(++next_);
        bitstream->TimeStamp = surface->Data.TimeStamp;
        (*pending_)[*sync] = bitstream;
        return MFX_ERR_NONE;
    }
    mfxStatus Close() override { return MFX_ERR_NONE; }

private:
    std::map<mfxSyncPoint, mfxBitstream*>* pending_;
    uintptr_t next_ = 0;
};

class InstantSession : public IMfxVideoSession {
public:
    explicit InstantSession(const std::vector<uint8_t>* frame) : frame_(frame) {}
    mfxStatus Init(mfxIMPL, mfxVersion*) override { return MFX_ERR_NONE; }
    mfxStatus Close() override { return MFX_ERR_NONE; }
    mfxStatus SyncOperation(mfxSyncPoint sync, mfxU32) override {
        mfxBitstream* bitstream = pending_[sync];
        pending_.erase(sync);
        std::memcpy(bitstream->Data, frame_->data(), frame_->size());
        bitstream->DataOffset = 0;
        bitstream->DataLength = static_cast<mfxU32>(frame_->size());
        bitstream->FrameType = MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF;
        return MFX_ERR_NONE;
    }
    std::unique_ptr<IMfxVideoEncoder> CreateEncoder() override { return std::make_unique<InstantEncoder>(&pending_); }

private:
    const std::vector<uint8_t>* frame_;
    std::map<mfxSyncPoint, mfxBitstream*> pending_;
};

int32_t CountingSink(int32_t, void* context, int32_t size, int32_t, EncodedPacket*) {
    *static_cast<int64_t*>(context) += size;
    return 0;
}

void BM_Intel264EncodeOurPart1080p(benchmark::State& state) {
    const std::vector<uint8_t> canned = CannedFrame(static_cast<size_t>(state.range(0)));
    CIntel264Codec codec(std::make_unique<InstantSession>(&canned));
    CodecParams params{};
    params.bitrate = 2944000;
    params.width = 1920;
    params.height = 1080;
    params.fps = 25;
    int64_t delivered = 0;
    params.sink = CountingSink;
    params.sinkContext = &delivered;
    if (codec.Initialize(&params, MFX_RATECONTROL_QVBR, 2) != 0) {
        state.SkipWithError("open failed");
        return;
    }
    std::vector<uint8_t> yuy2(1920 * 1080 * 2, 128);
    params.inputData = yuy2.data();
    uint32_t pts = 0;
    for (auto _ : state) {
        params.pts = pts += 40;
        benchmark::DoNotOptimize(codec.Encode(&params));
    }
    codec.Close(&params);
    state.SetItemsProcessed(state.iterations());
    benchmark::DoNotOptimize(delivered);
}
// A P frame at the default 2.9 Mbit/s is about 15 KB; a key frame several times that.
BENCHMARK(BM_Intel264EncodeOurPart1080p)->Arg(15000)->Arg(150000)->Unit(benchmark::kMicrosecond);

void BM_NalSplitAndRewrite(benchmark::State& state) {
    const std::vector<uint8_t> canned = CannedFrame(static_cast<size_t>(state.range(0)));
    std::vector<uint8_t> frame = canned;
    for (auto _ : state) {
        size_t units = 0;
        ForEachNalUnit(frame.data(), frame.size(), [&](uint8_t* unit, size_t) {
            unit[3] = RewriteNalRefIdc(unit[3], MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF);
            ++units;
        });
        benchmark::DoNotOptimize(units);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_NalSplitAndRewrite)->Arg(15000)->Arg(150000);

}  // namespace
