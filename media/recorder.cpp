#include "media/recorder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include "media/flv_packet.h"
#include "platform/log.h"
#include "platform/media_clock.h"
#include "platform/thread_util.h"

namespace {

constexpr AVRational kMillisecond{1, 1000};
constexpr int kProvisionalAudioIndex = 1;
constexpr int kProvisionalVideoIndex = 2;
constexpr int kNalSps = 7;
constexpr int kNalPps = 8;
// Cut a fragment at every video key frame. The index goes out with the first fragment, so that it can say
// where each stream starts (an index written before any sample would start them all at zero).
constexpr char kLiveMovFlags[] = "frag_keyframe+delay_moov+default_base_moof";

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof(text));
    return text;
}

// Finds the SPS and the PPS in a block of Annex B units (the encoder gives the PPS first).
bool FindParameterSets(const uint8_t* data, size_t size, const uint8_t** sps, size_t* spsLength, const uint8_t** pps,
                       size_t* ppsLength) {
    *sps = *pps = nullptr;
    *spsLength = *ppsLength = 0;
    size_t i = 0;
    while (i < size) {
        const size_t start = AnnexBStartCodeLength(data + i, size - i);
        if (start == 0) {
            ++i;
            continue;
        }
        const size_t unit = i + start;
        size_t end = unit;
        while (end < size && AnnexBStartCodeLength(data + end, size - end) == 0) ++end;
        if (end > unit) {
            const int type = data[unit] & 0x1F;
            if (type == kNalSps && *sps == nullptr) {
                *sps = data + unit;
                *spsLength = end - unit;
            } else if (type == kNalPps && *pps == nullptr) {
                *pps = data + unit;
                *ppsLength = end - unit;
            }
        }
        i = end;
    }
    return *sps != nullptr && *pps != nullptr;
}

bool SetExtradata(AVCodecParameters* par, const uint8_t* data, size_t size) {
    par->extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (par->extradata == nullptr) return false;
    std::memcpy(par->extradata, data, size);
    par->extradata_size = static_cast<int>(size);
    return true;
}

void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// The slice without its Annex B start code.
bool SlicePayload(const EncodedPacket* packet, const uint8_t** nal, size_t* size) {
    if (packet == nullptr || packet->data == nullptr || packet->size <= 0 || packet->prefixLength < 0 ||
        packet->prefixLength >= packet->size) {
        return false;
    }
    *nal = packet->data + packet->prefixLength;
    *size = static_cast<size_t>(packet->size - packet->prefixLength);
    return true;
}

}  // namespace

CRecorder::CRecorder() = default;

CRecorder::~CRecorder() {
    Stop();
    {
        std::lock_guard<std::mutex> guard(finishLock_);
        finishStop_ = true;
    }
    finishChanged_.notify_all();
    JoinThread(finisher_);
}

void CRecorder::SetParams(const CodecParams* video, const CodecParams* audio) {
    videoParams_ = video;
    audioParams_ = audio;
}

void CRecorder::SetPath(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    path_ = path;
}

int32_t CRecorder::OpenRecording() {
    if (writer_.joinable()) Stop();
    std::string path;
    {
        std::lock_guard<std::mutex> guard(lock_);
        audioQueue_.clear();
        videoQueue_.clear();
        picture_.reset();
        lastAudioDts_ = -1;
        lastVideoDts_ = -INT64_MAX;
        lastVideoDuration_ = 0;
        path = path_;
    }
    messages_.Drain();
    failed_ = false;
    packetsWritten_ = 0;
    videoPacketsWritten_ = 0;
    OpenOutput(path);

    running_ = true;
    std::promise<void> started;
    auto startedFuture = started.get_future();
    writer_ = StartNamedThread("recorder", ThreadPriority::kTimeCritical, [this, &started] {
        started.set_value();
        WriterThread();
    });
    startedFuture.wait();
    return 1;
}

int32_t CRecorder::NextFile(const std::string& path) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        nextPath_ = path;
    }
    messages_.Post(WM_RECORDER_NEXTFILE, 0, 0);
    return 0;
}

int32_t CRecorder::AddVideo(const EncodedPacket* packet) {
    const uint8_t* nal = nullptr;
    size_t size = 0;
    if (!SlicePayload(packet, &nal, &size) || size > INT32_MAX - 4) return -1;
    std::lock_guard<std::mutex> guard(lock_);
    if (!running_ || failed_) return -1;
    // An encoder that cuts a picture into several slices delivers them one by one with the same times: they
    // belong in one sample, as a player reads one sample per picture.
    if (picture_ && packet->dts == picture_->dts && packet->pts == picture_->pts) {
        const int old = picture_->size;
        if (static_cast<size_t>(old) + 4 + size > INT32_MAX ||
            av_grow_packet(picture_.get(), static_cast<int>(4 + size)) < 0)
            return -1;
        PutBE32(picture_->data + old, static_cast<uint32_t>(size));
        std::memcpy(picture_->data + old + 4, nal, size);
        if (packet->frameType == 1) picture_->flags |= AV_PKT_FLAG_KEY;
        return 0;
    }
    if (packet->dts <= lastVideoDts_ || packet->dts > packet->pts) return -1;
    PacketPtr unit(av_packet_alloc());
    if (!unit || av_new_packet(unit.get(), static_cast<int>(4 + size)) < 0) return -1;
    lastVideoDts_ = packet->dts;
    // MP4 samples carry each NAL unit behind its 4-byte length instead of a start code.
    PutBE32(unit->data, static_cast<uint32_t>(size));
    std::memcpy(unit->data + 4, nal, size);
    unit->pts = packet->pts;
    unit->dts = packet->dts;
    unit->duration = packet->durationMs;
    unit->pos = -1;
    unit->stream_index = kProvisionalVideoIndex;
    if (packet->frameType == 1) unit->flags |= AV_PKT_FLAG_KEY;
    if (picture_) {
        // The encoder gives pictures no duration; without one the last picture of a file falls outside its
        // length and players never show it.
        lastVideoDuration_ = packet->dts - picture_->dts;
        picture_->duration = lastVideoDuration_;
        videoQueue_.push_back(std::move(picture_));
    }
    picture_ = std::move(unit);
    return 0;
}

int32_t CRecorder::AddAudio(const EncodedPacket* packet) {
    if (packet == nullptr || packet->data == nullptr || packet->size <= 0) return -1;
    std::lock_guard<std::mutex> guard(lock_);
    if (!running_ || failed_) return -1;
    if (packet->dts <= lastAudioDts_ || packet->dts > packet->pts) return -1;
    PacketPtr unit(av_packet_alloc());
    if (!unit || av_new_packet(unit.get(), packet->size) < 0) return -1;
    lastAudioDts_ = packet->dts;
    std::memcpy(unit->data, packet->data, static_cast<size_t>(packet->size));
    unit->pts = packet->pts;
    unit->dts = packet->dts;
    unit->duration = packet->durationMs;
    unit->pos = -1;
    unit->stream_index = kProvisionalAudioIndex;
    audioQueue_.push_back(std::move(unit));
    return 0;
}

void CRecorder::Stop() {
    if (!writer_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        running_ = false;
        if (picture_) {
            if (picture_->duration <= 0) picture_->duration = lastVideoDuration_;
            videoQueue_.push_back(std::move(picture_));
        }
    }
    wake_.notify_all();
    writer_.join();
    DropQueued();
    messages_.Drain();
}

void CRecorder::WriterThread() {
    bool switchPending = false;
    while (running_) {
        ThreadMessage message;
        if (messages_.Take(&message) && message.code == WM_RECORDER_NEXTFILE) switchPending = true;
        if (output_ && CurrentFileVanished()) FailWriting("its file or folder was removed:", ENOENT);
        if (!WriteOne(&switchPending)) {
            std::unique_lock<std::mutex> guard(wakeLock_);
            if (running_) wake_.wait_for(guard, std::chrono::milliseconds(1));
        }
    }
    // No unit comes any more, so whatever waits in one queue for the other stream can be written in order now.
    ThreadMessage message;
    if (messages_.Take(&message) && message.code == WM_RECORDER_NEXTFILE) switchPending = true;
    while (WriteOne(&switchPending)) {
    }
    FinishOutput();
}

bool CRecorder::WriteOne(bool* switchPending) {
    PacketPtr packet;
    bool isAudio = false;
    std::string switchTo;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const bool haveAudio = !audioQueue_.empty();
        const bool haveVideo = !videoQueue_.empty();
        // While the live runs a unit waits until the other stream has one too, so that the file is written in
        // decoding order across both streams.
        if (running_ ? (!haveAudio || !haveVideo) : (!haveAudio && !haveVideo)) return false;
        isAudio = haveAudio && (!haveVideo || audioQueue_.front()->dts <= videoQueue_.front()->dts);
        if (!isAudio && *switchPending && (videoQueue_.front()->flags & AV_PKT_FLAG_KEY) != 0) {
            switchTo = nextPath_;
        } else {
            std::deque<PacketPtr>& queue = isAudio ? audioQueue_ : videoQueue_;
            packet = std::move(queue.front());
            queue.pop_front();
        }
    }
    if (!packet) {
        // The key frame stays at the head and opens the new file.
        *switchPending = false;
        FinishOutput();
        if (!failed_) OpenOutput(switchTo);
        return true;
    }
    if (failed_ || !output_) return true;

    const int index = isAudio ? audioIndex_ : videoIndex_;
    AVStream* stream = output_->streams[index];
    const auto rounding = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);
    packet->stream_index = index;
    packet->pts = av_rescale_q_rnd(packet->pts, kMillisecond, stream->time_base, rounding);
    packet->dts = av_rescale_q_rnd(packet->dts, kMillisecond, stream->time_base, rounding);
    packet->duration = av_rescale_q(packet->duration, kMillisecond, stream->time_base);
    const int result = av_interleaved_write_frame(output_.get(), packet.get());
    if (result < 0) {
        FailWriting("writing failed:", result);
        return true;
    }
    ++packetsWritten_;
    ++filePackets_;
    if (!isAudio) ++videoPacketsWritten_;
    return true;
}

bool CRecorder::OpenOutput(const std::string& path) {
    outputPath_ = path;
    videoIndex_ = audioIndex_ = -1;
    AVFormatContext* raw = nullptr;
    if (path.empty() || avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str()) < 0 || raw == nullptr) {
        FailWriting("no container for", AVERROR(EINVAL));
        return false;
    }
    output_.reset(raw);

    AVStream* video = avformat_new_stream(raw, nullptr);
    AVStream* audio = avformat_new_stream(raw, nullptr);
    if (video == nullptr || audio == nullptr) {
        FailWriting("no streams for", AVERROR(ENOMEM));
        return false;
    }
    videoIndex_ = video->index;
    audioIndex_ = audio->index;

    video->time_base = kMillisecond;
    AVCodecParameters* vp = video->codecpar;
    vp->codec_type = AVMEDIA_TYPE_VIDEO;
    vp->codec_id = AV_CODEC_ID_H264;
    vp->codec_tag = 0;
    vp->format = 0;
    if (videoParams_ != nullptr) {
        vp->bit_rate = videoParams_->bitrate;
        vp->width = videoParams_->width;
        vp->height = videoParams_->height;
        // An MP4 track holds the parameter sets as an avcC record with the SPS first; the encoder's block has
        // them as start-code units, PPS first, which players would not accept there.
        const uint8_t *sps = nullptr, *pps = nullptr;
        size_t spsLength = 0, ppsLength = 0;
        const size_t length = static_cast<size_t>(
            std::clamp<int32_t>(videoParams_->parameterSetsLength, 0, sizeof(videoParams_->parameterSets)));
        if (FindParameterSets(videoParams_->parameterSets, length, &sps, &spsLength, &pps, &ppsLength)) {
            const std::vector<uint8_t> record = AvcDecoderConfig(sps, spsLength, pps, ppsLength);
            if (!record.empty()) SetExtradata(vp, record.data(), record.size());
        }
    }

    audio->time_base = kMillisecond;
    AVCodecParameters* ap = audio->codecpar;
    ap->codec_type = AVMEDIA_TYPE_AUDIO;
    ap->codec_id = AV_CODEC_ID_AAC;
    ap->frame_size = 1024;
    if (audioParams_ != nullptr) {
        ap->bit_rate = audioParams_->bitrate;
        ap->sample_rate = audioParams_->sampleRate;
        av_channel_layout_default(&ap->ch_layout, audioParams_->channels > 0 ? audioParams_->channels : 2);
        SetExtradata(ap, audioParams_->audioSpecificConfig, 2);
    }

    int result = avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
        FailWriting("cannot create", result);
        return false;
    }
    // Each file starts at zero (a file split off after eight hours would otherwise open with eight empty hours),
    // and every fragment goes to the disk as soon as it is complete.
    raw->avoid_negative_ts = AVFMT_AVOID_NEG_TS_MAKE_ZERO;
    raw->flush_packets = 1;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", kLiveMovFlags, 0);
    result = avformat_write_header(raw, &options);
    av_dict_free(&options);
    if (result < 0) {
        FailWriting("cannot start", result);
        return false;
    }
    lastVanishCheckMs_ = GetMediaTimeMs();
    filePackets_ = 0;
    return true;
}

void CRecorder::FinishOutput() {
    if (!output_) return;
    bool complete = false;
    if (!failed_) {
        const int result = av_write_trailer(output_.get());
        if (result < 0) {
            FailWriting("finishing failed:", result);
            return;
        }
        complete = avio_closep(&output_->pb) >= 0;
    }
    output_.reset();
    if (complete && filePackets_ > 0) QueueFinish(outputPath_);
}

void CRecorder::FailWriting(const char* what, int error) {
    if (!failed_.exchange(true)) {
        Log(LogLevel::kError, "recorder", "recording stopped, %s %s (%s); the live goes on", what, outputPath_.c_str(),
            ErrorText(error).c_str());
    }
    // What is on the disk stays as written: complete fragments play, the file is not touched again.
    output_.reset();
    DropQueued();
}

void CRecorder::DropQueued() {
    std::lock_guard<std::mutex> guard(lock_);
    audioQueue_.clear();
    videoQueue_.clear();
    picture_.reset();
}

bool CRecorder::CurrentFileVanished() {
    const int64_t now = GetMediaTimeMs();
    if (now - lastVanishCheckMs_ < kVanishCheckMs) return false;
    lastVanishCheckMs_ = now;
    // A removed folder does not fail the writes: they would go on filling a file nobody can reach.
    struct stat info {};
    return stat(outputPath_.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

void CRecorder::QueueFinish(const std::string& path) {
    std::lock_guard<std::mutex> guard(finishLock_);
    finishJobs_.push_back(path);
    if (!finisher_.joinable())
        finisher_ = StartNamedThread("rec-finish", ThreadPriority::kNormal, [this] { FinisherThread(); });
    finishChanged_.notify_all();
}

void CRecorder::FinisherThread() {
    std::unique_lock<std::mutex> guard(finishLock_);
    for (;;) {
        finishChanged_.wait(guard, [this] { return finishStop_ || !finishJobs_.empty(); });
        if (finishJobs_.empty()) return;
        const std::string path = finishJobs_.front();
        finishJobs_.pop_front();
        finishBusy_ = true;
        guard.unlock();
        RewriteAsPlainMp4(path);
        guard.lock();
        finishBusy_ = false;
        finishChanged_.notify_all();
    }
}

void CRecorder::WaitFinished() {
    std::unique_lock<std::mutex> guard(finishLock_);
    finishChanged_.wait(guard, [this] { return finishJobs_.empty() && !finishBusy_; });
}

bool RewriteAsPlainMp4(const std::string& path) {
    const std::string temp = path + ".part";
    AVFormatContext* rawInput = nullptr;
    int result = avformat_open_input(&rawInput, path.c_str(), nullptr, nullptr);
    if (result < 0) {
        Log(LogLevel::kError, "recorder", "cannot read %s back: %s", path.c_str(), ErrorText(result).c_str());
        return false;
    }
    FormatContextPtr input(rawInput);
    if (avformat_find_stream_info(rawInput, nullptr) < 0) return false;
    // The copy starts where presentation starts: with the first picture at time zero and its decoding time
    // before it, the muxer keeps the last picture inside the file's length (otherwise players drop it).
    const int64_t start = input->start_time != AV_NOPTS_VALUE ? input->start_time : 0;

    AVFormatContext* rawOutput = nullptr;
    if (avformat_alloc_output_context2(&rawOutput, nullptr, "mp4", temp.c_str()) < 0 || rawOutput == nullptr)
        return false;
    OutputContextPtr output(rawOutput);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* in = input->streams[i];
        AVStream* out = avformat_new_stream(rawOutput, nullptr);
        if (out == nullptr || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) return false;
        out->codecpar->codec_tag = 0;
        if (out->codecpar->codec_id == AV_CODEC_ID_AAC && out->codecpar->frame_size == 0)
            out->codecpar->frame_size = 1024;
        out->time_base = in->time_base;
    }
    bool ok = avio_open(&rawOutput->pb, temp.c_str(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(rawOutput, nullptr) >= 0;
    // The fragments give the demuxer no packet durations; each packet is held until the next of its stream
    // shows how long it lasts, since a last picture without a duration falls outside the file's length.
    std::vector<PacketPtr> held(input->nb_streams);
    std::vector<int64_t> lastDuration(input->nb_streams, 0);
    auto write = [&](PacketPtr& unit) {
        const int index = unit->stream_index;
        if (unit->duration <= 0) unit->duration = lastDuration[index];
        lastDuration[index] = unit->duration;
        av_packet_rescale_ts(unit.get(), input->streams[index]->time_base, rawOutput->streams[index]->time_base);
        unit->pos = -1;
        const bool written = av_interleaved_write_frame(rawOutput, unit.get()) >= 0;
        unit.reset();
        return written;
    };
    PacketPtr packet(av_packet_alloc());
    ok = ok && packet != nullptr;
    while (ok) {
        result = av_read_frame(input.get(), packet.get());
        if (result == AVERROR_EOF) break;
        if (result < 0) {
            ok = false;
            break;
        }
        const int index = packet->stream_index;
        const int64_t shift = av_rescale_q(start, AV_TIME_BASE_Q, input->streams[index]->time_base);
        if (packet->pts != AV_NOPTS_VALUE) packet->pts -= shift;
        if (packet->dts != AV_NOPTS_VALUE) packet->dts -= shift;
        PacketPtr& previous = held[index];
        if (previous) {
            if (previous->duration <= 0 && packet->dts > previous->dts)
                previous->duration = packet->dts - previous->dts;
            ok = write(previous);
        }
        previous.reset(av_packet_alloc());
        if (!previous) {
            ok = false;
            break;
        }
        av_packet_move_ref(previous.get(), packet.get());
    }
    for (auto& unit : held)
        if (ok && unit) ok = write(unit);
    ok = ok && av_write_trailer(rawOutput) >= 0;
    ok = ok && rawOutput->pb != nullptr && avio_closep(&rawOutput->pb) >= 0;
    output.reset();
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        Log(LogLevel::kError, "recorder", "%s stays a fragmented MP4 (it plays, but could not be rewritten)",
            path.c_str());
        return false;
    }
    return true;
}
