#include "sourcekit/net_file_device.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/log.h"

namespace {

constexpr int64_t kRtmpDelayMs = 1000;
constexpr int64_t kOtherDelayMs = 3000;
constexpr int64_t kFramesPerSecond = 30;

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof(text));
    return text;
}

}  // namespace

std::unique_ptr<CNetFDevice> CNetFDevice::Open(const char* url, int32_t channels, int32_t sampleRate,
                                               DeviceCallback callback, void* user) {
    if (url == nullptr) return nullptr;
    std::string text(url);
    if (text.size() + 1 > kMaxUrlBytes) {
        Log(LogLevel::kWarning, "sourcekit", "stream URL of %zu bytes is too long", text.size());
        return nullptr;
    }
    EnsureFfmpegNetworkReady();
    return std::unique_ptr<CNetFDevice>(new CNetFDevice(std::move(text), channels, sampleRate, callback, user));
}

CNetFDevice::CNetFDevice(std::string url, int32_t channels, int32_t sampleRate, DeviceCallback callback, void* user)
    : CFDevice(channels, sampleRate, callback, user),
      url_(std::move(url)),
      delay_(url_.find("rtmp://") != std::string::npos ? kRtmpDelayMs : kOtherDelayMs),
      cap_(static_cast<size_t>(delay_ * kFramesPerSecond / 1000)) {}

CNetFDevice::~CNetFDevice() { Stop(); }

void CNetFDevice::Start() {
    if (presenter_.joinable()) Stop();
    presenterRunning_ = true;
    CStartedEvent started;
    presenter_ = StartNamedThread("sk-net", ThreadPriority::kNormal, [this, &started] { PresenterThread(&started); });
    started.Wait();
}

void CNetFDevice::Stop() {
    presenterRunning_ = false;
    JoinThread(presenter_);
}

void CNetFDevice::Seek(int32_t position) {
    // A stream cannot rewind; position 0 reconnects from scratch.
    if (position == 0) Start();
}

void CNetFDevice::Pause(bool pause) { paused_ = pause; }

void CNetFDevice::StartReader() {
    readerStop_ = false;
    reconnect_ = false;
    readerRunning_ = true;
    reader_ = StartNamedThread("sk-net-read", ThreadPriority::kNormal, [this] { ReaderThread(); });
}

void CNetFDevice::StopReader() {
    readerStop_ = true;
    // The interrupt callback makes a connect or read that is still blocked give up within
    // FFmpeg's polling interval, so this wait is short and the reader is gone before the presenter
    // releases anything it uses.
    JoinThread(reader_);
    readerRunning_ = false;
}

int CNetFDevice::Interrupted(void* device) {
    auto* self = static_cast<CNetFDevice*>(device);
    if (self->readerStop_) return 1;
    if (SkNowMs() - self->readStartMs_ > kStallMs) {
        self->stalled_ = true;
        return 1;
    }
    return 0;
}

void CNetFDevice::ReaderThread() {
    const bool reconnect = ReadConnection();
    reconnect_ = reconnect;
    readerRunning_ = false;
}

bool CNetFDevice::ReadConnection() {
    readStartMs_ = SkNowMs();
    stalled_ = false;
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) return false;
    context->flags |= AVFMT_FLAG_NONBLOCK;
    context->interrupt_callback.callback = &CNetFDevice::Interrupted;
    context->interrupt_callback.opaque = this;
    CAvOptions options;
    options.Set("rtsp_transport", "tcp");
    const int opened = avformat_open_input(&context, url_.c_str(), nullptr, options.Address());
    if (opened < 0) {  // context freed
        if (!readerStop_)
            Log(LogLevel::kWarning, "sourcekit", "cannot open stream %s: %s", url_.c_str(), ErrorText(opened).c_str());
        return false;
    }
    FormatContextPtr demuxer(context);
    if (avformat_find_stream_info(context, nullptr) < 0) {
        if (!readerStop_) Log(LogLevel::kWarning, "sourcekit", "cannot read the streams of %s", url_.c_str());
        return false;
    }
    int videoIndex = -1;
    int audioIndex = -1;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVMediaType type = context->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO) videoIndex = static_cast<int>(i);
        if (type == AVMEDIA_TYPE_AUDIO) audioIndex = static_cast<int>(i);
    }
    CStreamDecoder video;
    CStreamDecoder audio;
    if (videoIndex >= 0 && !video.Open(context, videoIndex)) return false;
    if (audioIndex >= 0 && !audio.Open(context, audioIndex)) return false;
    PacketPtr packet(av_packet_alloc());
    if (packet == nullptr) return false;

    base_ = SkNowMs() + delay_;
    paused_ = false;
    // The first sound frame sets the connection's time origin; without a sound stream (or when a
    // declared one sends nothing for a queue's worth of video) the first video frame does. The
    // buffered lead is measured on the newest frame of either stream, so that video keeps the clock
    // going where sound is missing or stops.
    const bool originFromSound = audioIndex >= 0;
    size_t videoBeforeSound = 0;
    bool originSet = false;
    int64_t origin = 0;
    int64_t newestTime = 0;
    CTimeJumpGuard timeGuard;
    std::deque<FramePtr> decoded;
    while (!readerStop_) {
        size_t videoQueued = 0;
        size_t audioQueued = 0;
        {
            std::lock_guard<std::mutex> lock(queueLock_);
            videoQueued = videoQueue_.size();
            audioQueued = audioQueue_.size();
        }
        if (videoQueued >= 2 * cap_ || audioQueued >= 2 * cap_ || (videoQueued > cap_ && audioQueued > cap_)) {
            SkSleep1ms();
            continue;
        }
        readStartMs_ = SkNowMs();
        int result = av_read_frame(context, packet.get());
        if (result == AVERROR(EAGAIN)) {
            SkSleep1ms();
            continue;
        }
        if (result < 0) {
            // The watchdog's interruption is a broken connection, not a stop.
            if (result == AVERROR_EXIT && stalled_) result = AVERROR(ETIMEDOUT);
            const bool reconnect = result != AVERROR_EOF && result != AVERROR_EXIT;
            if (reconnect) {
                Log(LogLevel::kWarning, "sourcekit",
                    "stream %s broke off (%s); reconnecting once the buffered frames are shown", url_.c_str(),
                    ErrorText(result).c_str());
            }
            return reconnect;
        }
        const bool isVideo = packet->stream_index == videoIndex;
        const CStreamDecoder& decoder = isVideo ? video : audio;
        if (isVideo) {
            video.Decode(packet.get(), &decoded);
        } else if (packet->stream_index == audioIndex) {
            audio.Decode(packet.get(), &decoded);
        }
        av_packet_unref(packet.get());

        for (FramePtr& frame : decoded) {
            if (frame->pts == AV_NOPTS_VALUE || frame->pts > CTimeJumpGuard::kMaxTimeMs ||
                frame->pts < -CTimeJumpGuard::kMaxTimeMs) {
                continue;
            }
            // Without a 4:2:0 picture there is no image to convert into; such video is not kept.
            if (isVideo && !IsPlanar420(frame->format)) continue;
            if (!originSet) {
                // Video decoded before the first sound has no place on the sound's timeline yet.
                if (isVideo && originFromSound && ++videoBeforeSound < cap_) continue;
                origin = frame->pts;
                originSet = true;
            }
            const int64_t relative = timeGuard.Admit(frame->pts - origin, decoder.DurationMs(frame.get()));
            if (relative == AV_NOPTS_VALUE) continue;
            frame->pts = relative;
            newestTime = std::max(newestTime, relative);
            std::lock_guard<std::mutex> lock(queueLock_);
            (isVideo ? videoQueue_ : audioQueue_).push_back(std::move(frame));
        }
        decoded.clear();

        // When less than a third of the delay is left buffered, the lead is restored to the full delay.
        const int64_t now = SkNowMs();
        if (base_ + newestTime <= now + delay_ / 3) base_ = now + delay_ - newestTime;
    }
    return false;
}

void CNetFDevice::PresenterThread(CStartedEvent* started) {
    started->Set();
    StopReader();
    StartReader();
    while (presenterRunning_) {
        SkSleep1ms();
        PresentDue(&videoQueue_, true);
        PresentDue(&audioQueue_, false);
        bool drained = false;
        {
            std::lock_guard<std::mutex> lock(queueLock_);
            drained = videoQueue_.empty() && audioQueue_.empty();
        }
        if (!drained) continue;
        if (reconnect_ && !readerRunning_) {
            StopReader();
            StartReader();
        } else {
            SkSleep1ms();
        }
    }
    StopReader();
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        videoQueue_.clear();
        audioQueue_.clear();
    }
    image_.reset();
    ReleaseResampler();
}

void CNetFDevice::PresentDue(std::deque<FramePtr>* queue, bool video) {
    while (presenterRunning_) {
        FramePtr frame;
        {
            std::lock_guard<std::mutex> lock(queueLock_);
            if (queue->empty() || queue->front()->pts > SkNowMs() - base_) return;
            frame = std::move(queue->front());
            queue->pop_front();
        }
        // Paused: frames are still consumed on time, just not shown.
        if (paused_) continue;
        if (video) {
            DeliverVideo(frame.get(), base_);
        } else {
            DeliverSound(frame.get(), base_, true);
        }
    }
}
