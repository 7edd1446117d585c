#include "sourcekit/local_file_device.h"

#include <utility>

#include "platform/log.h"

std::unique_ptr<CLocFDevice> CLocFDevice::Open(const char* path, AVIOContext* io, int32_t channels, int32_t sampleRate,
                                               int32_t* width, int32_t* height, int32_t* mask, DeviceCallback callback,
                                               void* user) {
    if (path == nullptr) return nullptr;
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) return nullptr;
    context->flags |= AVFMT_FLAG_NONBLOCK;
    if (io != nullptr) {
        context->pb = io;
        context->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    if (avformat_open_input(&context, path, nullptr, nullptr) < 0) return nullptr;  // context freed
    FormatContextPtr demuxer(context);
    if (avformat_find_stream_info(context, nullptr) < 0) return nullptr;

    int32_t videoWidth = 100;
    int32_t videoHeight = 100;
    int32_t streams = 0;
    int videoIndex = -1;
    int audioIndex = -1;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVCodecParameters* parameters = context->streams[i]->codecpar;
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
            videoIndex = static_cast<int>(i);
            videoWidth = parameters->width;
            videoHeight = parameters->height;
            streams += 1;
            if (!IsPlanar420(parameters->format)) return nullptr;
        } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
            audioIndex = static_cast<int>(i);
            streams += 2;
        }
    }
    if (width != nullptr) *width = videoWidth;
    if (height != nullptr) *height = videoHeight;
    if (mask != nullptr) *mask = streams;
    return std::unique_ptr<CLocFDevice>(
        new CLocFDevice(std::move(demuxer), videoIndex, audioIndex, channels, sampleRate, callback, user));
}

CLocFDevice::CLocFDevice(FormatContextPtr demuxer, int videoIndex, int audioIndex, int32_t channels, int32_t sampleRate,
                         DeviceCallback callback, void* user)
    : CFDevice(channels, sampleRate, callback, user),
      demuxer_(std::move(demuxer)),
      videoIndex_(videoIndex),
      audioIndex_(audioIndex),
      startTime_(demuxer_->start_time != AV_NOPTS_VALUE ? demuxer_->start_time : 0),
      startMs_(ToMilliseconds(startTime_, AV_TIME_BASE_Q)) {}

CLocFDevice::~CLocFDevice() { Stop(); }

void CLocFDevice::Start() {
    if (thread_.joinable()) return;
    running_ = true;
    thread_ = StartNamedThread("sk-file", ThreadPriority::kNormal, [this] { DeviceThread(); });
    started_.Wait();
}

void CLocFDevice::Stop() {
    running_ = false;
    JoinThread(thread_);
}

void CLocFDevice::Seek(int32_t position) {
    if (position == 0) messages_.Post(kRewindMessage, 0, 0);
}

void CLocFDevice::Pause(bool pause) {
    std::lock_guard<std::mutex> lock(clockLock_);
    if (pause == paused_) return;
    const int64_t now = SkNowMs();
    if (pause) {
        pauseStart_ = now;
    } else {
        // The file continues where it stopped: everything still due moves by the time spent paused.
        base_ += now - pauseStart_;
    }
    paused_ = pause;
}

void CLocFDevice::Loop(bool loop) { loop_ = loop; }

bool CLocFDevice::OpenDecoders() {
    if (videoIndex_ >= 0) {
        if (!video_.Open(demuxer_.get(), videoIndex_)) return false;
        const AVCodecContext* decoder = video_.Context();
        if (IsPlanar420(decoder->pix_fmt) && decoder->width > 0 && decoder->height > 0) {
            image_.reset(CreateImageBuffer(decoder->width, decoder->height, kFourccYUY2));
        }
    }
    if (audioIndex_ >= 0) {
        if (!audio_.Open(demuxer_.get(), audioIndex_)) return false;
        PrepareResampler(audio_.Context());
    }
    return true;
}

void CLocFDevice::CloseDecoders() {
    videoQueue_.clear();
    audioQueue_.clear();
    video_.Close();
    audio_.Close();
    packet_.reset();
    ReleaseResampler();
}

bool CLocFDevice::QueuesFull() const {
    return videoQueue_.size() >= kMaxQueuedFrames || audioQueue_.size() >= kMaxQueuedFrames ||
           (!videoQueue_.empty() && !audioQueue_.empty());
}

void CLocFDevice::Retime(std::deque<FramePtr>* queue, size_t from, const CStreamDecoder& decoder) {
    for (size_t i = from; i < queue->size(); ++i) {
        AVFrame* frame = (*queue)[i].get();
        const int64_t time = frame->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : frame->pts - startMs_;
        frame->pts = timeGuard_.Admit(time, decoder.DurationMs(frame));
    }
}

bool CLocFDevice::ReadPacket() {
    const size_t videoBefore = videoQueue_.size();
    const size_t audioBefore = audioQueue_.size();
    const int result = av_read_frame(demuxer_.get(), packet_.get());
    if (result == AVERROR(EAGAIN)) return true;
    if (result < 0) {
        // The end (or a read failure, which counts as one): what the decoders still hold comes out.
        video_.Decode(nullptr, &videoQueue_);
        audio_.Decode(nullptr, &audioQueue_);
    } else if (packet_->stream_index == videoIndex_) {
        video_.Decode(packet_.get(), &videoQueue_);
    } else if (packet_->stream_index == audioIndex_) {
        audio_.Decode(packet_.get(), &audioQueue_);
    }
    av_packet_unref(packet_.get());
    Retime(&videoQueue_, videoBefore, video_);
    Retime(&audioQueue_, audioBefore, audio_);
    return result >= 0;
}

bool CLocFDevice::DeliverDue() {
    // A frame is due when base + its time has come; comparing against now - base keeps a frame time
    // that passed through as INT64_MAX from overflowing.
    while (!videoQueue_.empty()) {
        AVFrame* frame = videoQueue_.front().get();
        if (frame->pts < 0) {  // frames without a time included
            videoQueue_.pop_front();
            continue;
        }
        if (frame->pts > SkNowMs() - base_) break;
        DeliverVideo(frame, base_);
        videoQueue_.pop_front();
        if (!running_) return false;
    }
    while (!audioQueue_.empty()) {
        AVFrame* frame = audioQueue_.front().get();
        if (frame->pts > SkNowMs() - base_) break;
        DeliverSound(frame, base_, false);
        audioQueue_.pop_front();
        if (!running_) return false;
    }
    return true;
}

void CLocFDevice::Rewind() {
    if (av_seek_frame(demuxer_.get(), -1, startTime_, AVSEEK_FLAG_BACKWARD) < 0) {
        // An input that cannot seek cannot start over; it stays at its end rather than announcing
        // restarts that never play.
        if (!seekFailed_) Log(LogLevel::kWarning, "sourcekit", "the file cannot be rewound");
        seekFailed_ = true;
        return;
    }
    seekFailed_ = false;
    timeGuard_.Reset();
    video_.Flush();
    videoQueue_.clear();
    audio_.Flush();
    audioQueue_.clear();
    {
        std::lock_guard<std::mutex> lock(clockLock_);
        const int64_t now = SkNowMs();
        base_ = now + kRewindLeadMs;
        // Rewound while paused: the time paused before the rewind must not delay the restart.
        if (paused_) pauseStart_ = now;
    }
    if (endReached_) {
        callback_(SK_KIND_END, user_, 0, nullptr, nullptr);
        endReached_ = false;
    }
}

void CLocFDevice::DeviceThread() {
    started_.Set();
    // A decoder that cannot be opened ends the thread at once: nothing is delivered, not even the end.
    if (!OpenDecoders()) {
        CloseDecoders();
        return;
    }
    packet_.reset(av_packet_alloc());
    if (packet_ == nullptr) return;
    base_ = SkNowMs();
    endReached_ = false;
    bool endReported = false;
    while (running_) {
        ThreadMessage message;
        if (messages_.Take(&message) && message.code == kRewindMessage) Rewind();
        if (paused_) {
            SkSleep1ms();
            continue;
        }
        // Reading stays just ahead of presentation.
        if (QueuesFull()) {
            SkSleep1ms();
        } else if (!endReached_ && !ReadPacket()) {
            endReached_ = true;
            endReported = false;
        }
        if (!DeliverDue()) break;
        if (endReached_ && videoQueue_.empty() && audioQueue_.empty()) {
            if (loop_ && !seekFailed_) {
                Rewind();
            } else {
                if (!endReported) callback_(SK_KIND_END, user_, 1, nullptr, nullptr);
                endReported = true;
                SkSleep1ms();
            }
        }
    }
    CloseDecoders();
}

void CLocFDevice::PlayUnpaced(int maxPackets) {
    if (!OpenDecoders()) {
        CloseDecoders();
        return;
    }
    packet_.reset(av_packet_alloc());
    if (packet_ == nullptr) return;
    base_ = SkNowMs();
    const auto deliverAll = [this] {
        for (FramePtr& frame : videoQueue_) {
            if (frame->pts >= 0) DeliverVideo(frame.get(), base_);
        }
        videoQueue_.clear();
        for (FramePtr& frame : audioQueue_) DeliverSound(frame.get(), base_, false);
        audioQueue_.clear();
    };
    bool rewound = false;
    for (int n = 0; n < maxPackets; ++n) {
        const bool more = ReadPacket();
        deliverAll();
        if (!more) {
            if (rewound) break;
            endReached_ = true;
            Rewind();
            rewound = true;
        }
    }
    CloseDecoders();
}
