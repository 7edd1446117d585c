#include "media/intel_codec_rules.h"

#include <algorithm>
#include <cstring>

namespace {

// The SDK's kilobit fields are 16 bits wide.
uint16_t Kbps(int64_t value) { return static_cast<uint16_t>(std::clamp<int64_t>(value, 0, 0xFFFF)); }

uint16_t AlignUp(int32_t value, int32_t alignment) {
    return static_cast<uint16_t>((value + alignment - 1) / alignment * alignment);
}

}  // namespace

void FillIntel264Params(const CodecParams& block, int32_t method, int32_t quality, uint16_t numRefFrame,
                        mfxVideoParam* params, Intel264ExtBuffers* ext) {
    std::memset(params, 0, sizeof(*params));
    std::memset(ext, 0, sizeof(*ext));
    const int q = std::clamp(quality, 0, 2);
    mfxInfoMFX& mfx = params->mfx;

    mfx.RateControlMethod = static_cast<uint16_t>(method);
    mfx.TargetUsage = 4;
    mfx.CodecId = MFX_CODEC_AVC;
    mfx.TargetKbps = Kbps(block.bitrate / 1024);

    // Several of these fields share storage (QPI/QPP/QPB and ICQQuality overlay the bit rates), which is what
    // the SDK expects for the methods that use them; each case only writes the ones its method reads.
    switch (method) {
        case MFX_RATECONTROL_CBR:
        case MFX_RATECONTROL_VBR: {
            static constexpr uint16_t kTargetUsage[] = {7, 4, 1};
            mfx.MaxKbps = Kbps(2 * static_cast<int64_t>(mfx.TargetKbps));
            mfx.TargetUsage = kTargetUsage[q];
            break;
        }
        case MFX_RATECONTROL_CQP: {
            static constexpr uint16_t kQp[] = {46, 36, 26};
            mfx.QPI = kQp[q];
            mfx.QPP = kQp[q];
            mfx.QPB = kQp[q];
            break;
        }
        case MFX_RATECONTROL_LA: {
            static constexpr uint16_t kDepth[] = {10, 50, 100};
            ext->option2.Header.BufferId = MFX_EXTBUFF_CODING_OPTION2;
            ext->option2.Header.BufferSz = sizeof(ext->option2);
            ext->option2.LookAheadDepth = kDepth[q];
            ext->attached[0] = &ext->option2.Header;
            params->ExtParam = ext->attached;
            params->NumExtParam = 1;
            break;
        }
        case MFX_RATECONTROL_ICQ:
        case MFX_RATECONTROL_LA_ICQ: {
            static constexpr uint16_t kIcq[] = {36, 26, 16};
            mfx.ICQQuality = kIcq[q];
            break;
        }
        case MFX_RATECONTROL_QVBR: {
            static constexpr uint16_t kQvbr[] = {51, 26, 1};
            ext->option3.Header.BufferId = MFX_EXTBUFF_CODING_OPTION3;
            ext->option3.Header.BufferSz = sizeof(ext->option3);
            ext->option3.QVBRQuality = kQvbr[q];
            ext->attached[0] = &ext->option3.Header;
            params->ExtParam = ext->attached;
            params->NumExtParam = 1;
            break;
        }
        default:
            break;
    }

    mfx.CodecProfile = MFX_PROFILE_AVC_HIGH_422;
    mfx.CodecLevel = MFX_LEVEL_AVC_52;
    mfxFrameInfo& frame = mfx.FrameInfo;
    frame.FrameRateExtN = static_cast<uint32_t>(block.fps);
    frame.FrameRateExtD = 1;
    frame.CropX = 0;
    frame.CropY = 0;
    frame.FourCC = MFX_FOURCC_NV12;
    frame.PicStruct = MFX_PICSTRUCT_PROGRESSIVE;
    frame.ChromaFormat = MFX_CHROMAFORMAT_YUV420;
    frame.CropW = static_cast<uint16_t>(block.width);
    frame.CropH = static_cast<uint16_t>(block.height);
    frame.Width = AlignUp(block.width, 16);
    frame.Height = AlignUp(block.height, 16);
    params->IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY;

    mfx.GopOptFlag = MFX_GOP_CLOSED;
    mfx.NumSlice = 1;
    mfx.GopPicSize = static_cast<uint16_t>(block.fps * 3);
    mfx.GopRefDist = 10;
    mfx.NumRefFrame = numRefFrame;
}

NV12Layout NV12LayoutFor(int32_t width, int32_t height) {
    NV12Layout layout;
    layout.pitch = AlignUp(width, 16);
    // Rows beyond the frame height give the encoder room to read whole 32-row units.
    layout.lumaSize = static_cast<size_t>(layout.pitch) * AlignUp(height, 32);
    layout.pictureSize = layout.lumaSize * 12 / 8;
    return layout;
}

int64_t DeriveDts(const int64_t* ptsRing, uint64_t inputCount, uint64_t outputCount, int32_t fps) {
    if (outputCount < 2) {
        const int64_t offset = inputCount < 3 ? 2000 / fps : ptsRing[2] - ptsRing[0];
        return ptsRing[outputCount] - offset;
    }
    return ptsRing[(outputCount - 2) % kPtsRingSize];
}

uint8_t RewriteNalRefIdc(uint8_t header, uint16_t frameType) {
    const int type = header & 0x1F;
    auto withRefIdc = [header](int refIdc) { return static_cast<uint8_t>((header & 0x9F) | (refIdc << 5)); };
    if (type == kNalIdrSlice) return withRefIdc(3);
    if (type != kNalSlice) return header;
    switch (frameType & (MFX_FRAMETYPE_REF | MFX_FRAMETYPE_B | MFX_FRAMETYPE_P | MFX_FRAMETYPE_I)) {
        case MFX_FRAMETYPE_B:
            return withRefIdc(0);
        case MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF:
        case MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF:
            return withRefIdc(2);
        case MFX_FRAMETYPE_B | MFX_FRAMETYPE_REF:
            return withRefIdc(1);
        default:
            return header;
    }
}

void ForEachNalUnit(uint8_t* data, size_t size, const std::function<void(uint8_t* unit, size_t size)>& unit) {
    if (data == nullptr || size < 3) return;
    // Where the next 00 00 01 at or after `from` begins, or size. Looking for the 01 first lets memchr do the
    // scanning, which matters for the large key frames.
    auto nextStartCode = [data, size](size_t from) {
        for (size_t i = from + 2; i < size; ++i) {
            const void* one = std::memchr(data + i, 1, size - i);
            if (one == nullptr) break;
            i = static_cast<size_t>(static_cast<const uint8_t*>(one) - data);
            if (data[i - 1] == 0 && data[i - 2] == 0) return i - 2;
        }
        return size;
    };
    for (size_t start = nextStartCode(0); start < size;) {
        const size_t next = nextStartCode(start + 3);
        // A NAL unit never ends in a zero byte (H.264 7.4.1): zeros here open the next start code.
        size_t end = next;
        while (end > start + 3 && data[end - 1] == 0) --end;
        if (end > start + 3) unit(data + start, end - start);
        start = next;
    }
}

void MakeAudioSpecificConfig(int32_t sampleRate, int32_t channels, uint8_t out[2]) {
    int index;
    if (sampleRate >= 92017) {
        index = 0;
    } else if (sampleRate > 75131) {
        index = 1;
    } else if (sampleRate > 55425) {
        index = 2;
    } else if (sampleRate > 46008) {
        index = 3;
    } else if (sampleRate > 37565) {
        index = 4;
    } else if (sampleRate > 27712) {
        index = 5;
    } else if (sampleRate > 23003) {
        index = 6;
    } else if (sampleRate > 18782) {
        index = 7;
    } else if (sampleRate > 13855) {
        index = 8;
    } else if (sampleRate > 11501) {
        index = 9;
    } else if (sampleRate >= 9391) {
        index = 10;
    } else {
        index = 11;
    }
    // Object type 2 (AAC LC) in the top five bits, then four bits of frequency index and four of channel
    // configuration; the channel count is kept to its four bits so it cannot spill into the frequency.
    out[0] = static_cast<uint8_t>(0x10 | (index >> 1));
    out[1] = static_cast<uint8_t>(((index & 1) << 7) | ((channels & 0x0F) << 3));
}

size_t AdtsHeaderLength(const uint8_t* data, size_t size) {
    if (data == nullptr || size < 7 || data[0] != 0xFF || (data[1] & 0xF0) != 0xF0) return 0;
    const bool protectionAbsent = (data[1] & 0x01) != 0;
    return protectionAbsent ? 7 : 9;
}
