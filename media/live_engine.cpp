#include "media/live_engine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "media/codec_factory.h"
#include "media/live_texts.h"
#include "platform/log.h"
#include "platform/media_clock.h"
#include "platform/thread_util.h"
#include "platform/window_messages.h"

namespace {

// The rate-control codes and quality level the hardware encoder is opened with; the software one ignores them.
constexpr int32_t kRateControlFirst = 14;
constexpr int32_t kRateControlSecond = 2;
constexpr int32_t kEncoderQuality = 2;
constexpr int kMaxNameSuffix = 1000;

// Hardware or software encoders as the settings ask; a hardware encoder that cannot open refuses the start
// with the hardware text.
std::unique_ptr<CBaseCodec> DefaultCodec(int32_t mediaKind, bool hardware) { return CreateCodec(mediaKind, hardware); }

std::string Trim(const std::string& text) {
    const char* space = " \t\r\n\f\v";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

bool IsStopped(int32_t state) { return state == kEngineStopping || state == kEngineIdle; }

}  // namespace

CLiveEngine::CLiveEngine(IWindowTarget* window)
    : window_(window), connectionFactory_(MakeRtmpConnection), codecFactory_(DefaultCodec), tick_(TimeGetTime) {}

CLiveEngine::~CLiveEngine() {
    StopLive();
    if (state_ == kEngineReady) ReleaseReady();
    if (sendThread_.joinable()) {
        {
            std::lock_guard<std::mutex> guard(sendWakeLock_);
            sendStop_ = true;
        }
        sendWake_.notify_all();
        sendThread_.join();
    }
    CloseConnection();
}

void CLiveEngine::SetTickSource(std::function<uint32_t()> tick) { tick_ = tick ? std::move(tick) : TimeGetTime; }

void CLiveEngine::Post(int32_t state) { PostWindowMessage(window_, WM_LIVE_STATUS, static_cast<uintptr_t>(state), 0); }

void CLiveEngine::SetState(int32_t state) {
    state_ = state;
    Post(state);
}

int32_t CLiveEngine::Fail(LiveStartError error, const char* why) {
    Log(LogLevel::kError, "engine", "the live did not start: %s", why);
    startError_ = error;
    switch (error) {
        case LiveStartError::kRecordFolderEmpty:
            errorText_ = kTextRecordFolderEmpty;
            break;
        case LiveStartError::kRecordFolderInvalid:
            errorText_ = kTextRecordFolderInvalid;
            break;
        case LiveStartError::kConnectFailed:
            errorText_ = kTextConnectFailed;
            break;
        case LiveStartError::kHardwareUnsupported:
            errorText_ = kTextHardwareUnsupported;
            break;
        case LiveStartError::kNone:
        case LiveStartError::kCancelled:
            errorText_.clear();
            break;
    }
    SetState(kEngineIdle);
    return 0;
}

bool CLiveEngine::AcceptsUnits() const { return IsLiveState(state_) || draining_; }

std::string CLiveEngine::RecordPath() const {
    std::lock_guard<std::mutex> guard(pathLock_);
    return recordPath_;
}

void CLiveEngine::SetRecordPath(const std::string& path) {
    std::lock_guard<std::mutex> guard(pathLock_);
    recordPath_ = path;
}

size_t CLiveEngine::QueuedAudio() const {
    std::lock_guard<std::mutex> guard(lock_);
    return audioQueue_.size();
}

size_t CLiveEngine::QueuedVideo() const {
    std::lock_guard<std::mutex> guard(lock_);
    return videoQueue_.size();
}

void CLiveEngine::CloseConnection() {
    std::unique_ptr<IRtmpConnection> old;
    {
        std::lock_guard<std::mutex> guard(connLock_);
        old = std::move(rtmp_);
    }
    streamId_ = 0;
}

int32_t CLiveEngine::StartLive() {
    const int32_t current = state_;
    if (current == kEngineReady) {
        ReleaseReady();
    } else if (current != kEngineIdle) {
        return 0;
    }
    SetState(kEngineStarting);
    errorText_.clear();
    startError_ = LiveStartError::kNone;
    videoHeaderQueued_ = audioHeaderQueued_ = false;
    lastVideoHeaderTime_ = lastAudioHeaderTime_ = 0;
    liveRecord_ = recordEnabled;
    livePublish_ = publishEnabled;
    liveFps_ = static_cast<uint32_t>(fps);
    liveUrl_ = publishUrl;

    if (liveRecord_) {
        recordFolder = Trim(recordFolder);
        if (recordFolder.empty()) return Fail(LiveStartError::kRecordFolderEmpty, "no recording folder is set");
        if (!IsDirectory(recordFolder)) {
            // The folders above it are made too: a first live into the default ~/Videos/Brevacast must
            // not fail on a machine without ~/Videos.
            std::error_code ignored;
            std::filesystem::create_directories(recordFolder, ignored);
            if (!IsDirectory(recordFolder))
                return Fail(LiveStartError::kRecordFolderInvalid, "the recording folder cannot be created");
        }
        liveFolder_ = recordFolder;
        while (liveFolder_.size() > 1 && liveFolder_.back() == '/') liveFolder_.pop_back();
        SetRecordPath(MakeRecordPath());
    }
    if (audioBitrate > kMaxAudioBitrate) audioBitrate = kMaxAudioBitrate;

    CloseConnection();
    {
        std::lock_guard<std::mutex> guard(connLock_);
        cancelConnect_ = false;
        connecting_ = false;
        if (startAborted_) return Fail(LiveStartError::kCancelled, "the start was called off");
    }
    if (livePublish_) {
        IRtmpConnection* connection = nullptr;
        {
            // Listed before the attempt, so that AbortStart can cut a connect to a silent host short.
            std::lock_guard<std::mutex> guard(connLock_);
            rtmp_ = connectionFactory_();
            connection = rtmp_.get();
            connecting_ = true;
        }
        const int opened = connection->Open(liveUrl_);
        bool aborted = false;
        {
            std::lock_guard<std::mutex> guard(connLock_);
            connecting_ = false;
            aborted = startAborted_;
        }
        if (opened <= 0 || aborted) {
            // Nothing of a failed start stays open: a half-open publishing session would keep the stream name
            // taken on the server.
            CloseConnection();
            if (aborted) return Fail(LiveStartError::kCancelled, "the start was called off");
            return Fail(LiveStartError::kConnectFailed, "the RTMP server did not open the stream");
        }
        streamId_ = connection->StreamId();
    }

    std::unique_ptr<CBaseCodec> video = codecFactory_(MEDIA_VIDEO, useHardwareEncoder);
    videoParams_ = CodecParams{};
    videoParams_.width = width;
    videoParams_.height = height;
    videoParams_.fps = fps;
    videoParams_.bitrate =
        static_cast<uint32_t>(videoBitrate) > kMaxVideoBitrate ? static_cast<int32_t>(kMaxVideoBitrate) : videoBitrate;
    videoParams_.sink = &CLiveEngine::OnPacket;
    videoParams_.sinkContext = this;
    if (!video || (video->Initialize(&videoParams_, kRateControlFirst, kEncoderQuality) < 0 &&
                   video->Initialize(&videoParams_, kRateControlSecond, kEncoderQuality) < 0)) {
        video.reset();
        CloseConnection();
        return Fail(LiveStartError::kHardwareUnsupported, "the video encoder refused the settings");
    }
    const uint8_t *sps = nullptr, *pps = nullptr;
    int32_t spsLength = 0, ppsLength = 0;
    video->GetParameterSets(&sps, &spsLength, &pps, &ppsLength);
    sps_.assign(sps, sps + (sps != nullptr ? std::max(spsLength, 0) : 0));
    pps_.assign(pps, pps + (pps != nullptr ? std::max(ppsLength, 0) : 0));
    videoParams_.parameterSetsLength = 0;
    if (pps_.size() + sps_.size() <= sizeof(videoParams_.parameterSets)) {
        std::copy(pps_.begin(), pps_.end(), videoParams_.parameterSets);
        std::copy(sps_.begin(), sps_.end(), videoParams_.parameterSets + pps_.size());
        videoParams_.parameterSetsLength = static_cast<int32_t>(pps_.size() + sps_.size());
    } else {
        Log(LogLevel::kWarning, "engine", "parameter sets of %zu bytes do not fit the stream block",
            pps_.size() + sps_.size());
    }

    std::unique_ptr<CBaseCodec> audio = codecFactory_(MEDIA_AUDIO, useHardwareEncoder);
    if (!audio && useHardwareEncoder) audio = codecFactory_(MEDIA_AUDIO, false);
    audioParams_ = CodecParams{};
    audioParams_.bitrate = static_cast<int32_t>(audioBitrate);
    audioParams_.channels = channels;
    audioParams_.sampleRate = sampleRate;
    audioParams_.sink = &CLiveEngine::OnPacket;
    audioParams_.sinkContext = this;
    audioConfig_.clear();
    if (audio) {
        audio->Open(&audioParams_);
        const uint8_t* config = nullptr;
        int32_t configLength = 0;
        audio->GetAudioSpecificConfig(&config, &configLength);
        if (config != nullptr && configLength > 0) {
            const auto length =
                std::min<size_t>(static_cast<size_t>(configLength), sizeof(audioParams_.audioSpecificConfig));
            std::copy(config, config + length, audioParams_.audioSpecificConfig);
            audioConfig_.assign(config, config + length);
        }
    }
    {
        std::lock_guard<std::mutex> guard(videoEncodeLock_);
        videoEncoder_ = std::move(video);
        videoClosed_ = false;
    }
    {
        std::lock_guard<std::mutex> guard(audioEncodeLock_);
        audioEncoder_ = std::move(audio);
        audioClosed_ = false;
        audioFed_ = false;
    }
    hasVideoEncoder_ = true;
    hasAudioEncoder_ = static_cast<bool>(audioEncoder_);

    if (liveRecord_) {
        recorder_.SetParams(&videoParams_, &audioParams_);
        recorder_.SetPath(RecordPath());
        recorder_.OpenRecording();
    }
    bool aborted = false;
    {
        std::lock_guard<std::mutex> guard(connLock_);
        aborted = startAborted_;
    }
    if (aborted) {
        ReleaseReady();
        return Fail(LiveStartError::kCancelled, "the start was called off");
    }
    SetState(kEngineReady);
    return 1;
}

void CLiveEngine::AbortStart() {
    std::lock_guard<std::mutex> guard(connLock_);
    startAborted_ = true;
    if (connecting_ && rtmp_) rtmp_->Abort();
}

int32_t CLiveEngine::CancelReady() {
    if (state_ != kEngineReady) return 0;
    ReleaseReady();
    Post(kEngineIdle);
    return 1;
}

void CLiveEngine::ClearAbort() {
    std::lock_guard<std::mutex> guard(connLock_);
    startAborted_ = false;
}

int32_t CLiveEngine::GoLive() {
    if (state_ != kEngineReady) return 0;
    nextSplitPts_ = splitIntervalMs_;
    lastAttemptTick_ = tick_();
    needHeaders_ = false;
    savedState_ = kEngineIdle;
    goLiveTime_ = TimeGetTime();
    int32_t expected = kEngineReady;
    const int32_t next = livePublish_ ? kEnginePublishStarting : kEngineLiveRecording;
    if (!state_.compare_exchange_strong(expected, next)) return 0;
    Post(next);
    if (!sendThread_.joinable()) {
        sendStop_ = false;
        sendThread_ = StartNamedThread("rtmp-send", ThreadPriority::kHighest, [this] { SendThread(); });
    }
    return 1;
}

int32_t CLiveEngine::StopLive() {
    int32_t current = state_;
    do {
        if (!IsLiveState(current)) return 0;
    } while (!state_.compare_exchange_weak(current, kEngineStopping));
    Post(kEngineStopping);
    {
        // A connection attempt under way would hold the send thread, and this call with it, for up to the
        // connection timeout; a working connection stays to carry what the encoders still hold.
        std::lock_guard<std::mutex> guard(connLock_);
        cancelConnect_ = true;
        if (connecting_ && rtmp_) rtmp_->Abort();
    }

    // The encoders still hold the last frames (the video lookahead) and sound; they go into the recording
    // and the queues before anything is finished. Producers are shut out from here on.
    drainedVideo_ = 0;
    drainedAudio_ = 0;
    draining_ = true;
    {
        std::lock_guard<std::mutex> guard(videoEncodeLock_);
        videoClosed_ = true;
        if (videoEncoder_) videoEncoder_->Close(&videoParams_);
    }
    {
        std::lock_guard<std::mutex> guard(audioEncodeLock_);
        audioClosed_ = true;
        if (audioEncoder_) {
            PushOutHeldSound();
            audioEncoder_->Close(&audioParams_);
        }
    }
    draining_ = false;

    if (sendThread_.joinable()) {
        {
            std::lock_guard<std::mutex> guard(sendWakeLock_);
            sendStop_ = true;
        }
        sendWake_.notify_all();
        sendThread_.join();
    }
    if (liveRecord_) recorder_.Stop();
    // The server ends the stream for its players only when the publisher leaves.
    CloseConnection();
    SetState(kEngineIdle);
    ReleaseEncoders();
    {
        std::lock_guard<std::mutex> guard(lock_);
        audioQueue_.clear();
        videoQueue_.clear();
    }
    return 1;
}

void CLiveEngine::PushOutHeldSound() {
    // The AAC encoder keeps the end of the sound (a partial frame and its own delay) until more arrives: a little
    // silence after the last block brings all of it out. Called under audioEncodeLock_.
    if (!audioFed_ || audioParams_.channels <= 0) return;
    std::vector<uint8_t> silence(static_cast<size_t>(kAudioFlushFrames) * 1024 * audioParams_.channels * 2);
    audioParams_.inputData = silence.data();
    audioParams_.inputBytes = static_cast<int32_t>(silence.size());
    audioParams_.audioTimestamp = nextAudioTimestamp_;
    audioEncoder_->Encode(&audioParams_);
    audioParams_.inputData = nullptr;
    audioParams_.inputBytes = 0;
}

void CLiveEngine::ReleaseEncoders() {
    hasVideoEncoder_ = false;
    hasAudioEncoder_ = false;
    {
        std::lock_guard<std::mutex> guard(videoEncodeLock_);
        videoClosed_ = true;
        videoEncoder_.reset();
    }
    std::lock_guard<std::mutex> guard(audioEncodeLock_);
    audioClosed_ = true;
    audioEncoder_.reset();
}

void CLiveEngine::ReleaseReady() {
    // A start that never went live: nothing was encoded, so there is nothing to drain.
    if (liveRecord_) recorder_.Stop();
    ReleaseEncoders();
    CloseConnection();
    state_ = kEngineIdle;
}

void CLiveEngine::EncodeVideo(const uint8_t* yuy2, uint32_t pts) {
    std::lock_guard<std::mutex> guard(videoEncodeLock_);
    if (!videoEncoder_ || videoClosed_ || yuy2 == nullptr || !IsLiveState(state_)) return;
    videoParams_.pts = pts;
    videoParams_.dts = pts;
    videoParams_.inputData = yuy2;
    videoEncoder_->Encode(&videoParams_);
    videoParams_.inputData = nullptr;
}

void CLiveEngine::EncodeAudio(const uint8_t* pcm, int32_t bytes, uint32_t timestamp) {
    std::lock_guard<std::mutex> guard(audioEncodeLock_);
    if (!audioEncoder_ || audioClosed_ || pcm == nullptr || bytes <= 0 || !IsLiveState(state_)) return;
    audioParams_.inputData = pcm;
    audioParams_.inputBytes = bytes;
    audioParams_.audioTimestamp = timestamp;
    audioEncoder_->Encode(&audioParams_);
    audioParams_.inputData = nullptr;
    audioParams_.inputBytes = 0;
    audioFed_ = true;
    const uint64_t bytesPerSecond = static_cast<uint64_t>(std::max(audioParams_.sampleRate, 1)) *
                                    static_cast<uint64_t>(std::max(audioParams_.channels, 1)) * 2;
    nextAudioTimestamp_ = timestamp + static_cast<uint32_t>(static_cast<uint64_t>(bytes) * 1000 / bytesPerSecond);
}

int32_t CLiveEngine::OnPacket(int32_t type, void* context, int32_t, int32_t, EncodedPacket* packet) {
    auto* engine = static_cast<CLiveEngine*>(context);
    if (engine == nullptr || packet == nullptr) return 0;
    if (type == PACKET_TYPE_AUDIO) {
        engine->HandleAudio(*packet);
    } else if (type == PACKET_TYPE_VIDEO) {
        engine->HandleVideo(*packet);
    }
    return 0;
}

void CLiveEngine::HandleVideo(const EncodedPacket& unit) {
    if (!AcceptsUnits()) return;
    if (unit.data == nullptr || unit.size <= 0 || unit.prefixLength < 0 || unit.prefixLength >= unit.size) return;
    const bool key = unit.frameType == 1;
    if (draining_) ++drainedVideo_;
    if (liveRecord_) {
        if (key && unit.pts >= nextSplitPts_) {
            const std::string path = MakeRecordPath();
            SetRecordPath(path);
            recorder_.NextFile(path);
            // Past every boundary the picture has reached, so a gap in the times cannot split at each key frame.
            while (nextSplitPts_ <= unit.pts) nextSplitPts_ += splitIntervalMs_;
        }
        recorder_.AddVideo(&unit);
    }
    if (livePublish_) {
        const uint32_t now = tick_();
        if (key && (!videoHeaderQueued_ || now - lastVideoHeaderTime_ > kSequenceHeaderIntervalMs)) {
            QueuedPacketPtr header = BuildAvcSequenceHeader(sps_.data(), sps_.size(), pps_.data(), pps_.size());
            if (header) {
                Enqueue(false, std::move(header));
                videoHeaderQueued_ = true;
                lastVideoHeaderTime_ = now;
            }
        }
        Enqueue(false, BuildAvcNalUnit(unit.data + unit.prefixLength,
                                       static_cast<uint64_t>(unit.size - unit.prefixLength), key, unit.pts, unit.dts));
    }
}

void CLiveEngine::HandleAudio(const EncodedPacket& unit) {
    if (!AcceptsUnits()) return;
    if (unit.data == nullptr || unit.size <= 0) return;
    if (draining_) ++drainedAudio_;
    if (liveRecord_) recorder_.AddAudio(&unit);
    if (livePublish_) {
        const uint32_t now = tick_();
        if (!audioConfig_.empty() && (!audioHeaderQueued_ || now - lastAudioHeaderTime_ > kSequenceHeaderIntervalMs)) {
            QueuedPacketPtr header = BuildAacSequenceHeader(audioConfig_.data(), audioConfig_.size());
            if (header) {
                Enqueue(true, std::move(header));
                audioHeaderQueued_ = true;
                lastAudioHeaderTime_ = now;
            }
        }
        Enqueue(true, BuildAacRawFrame(unit.data, static_cast<uint64_t>(unit.size), unit.pts));
    }
}

void CLiveEngine::Enqueue(bool audio, QueuedPacketPtr packet) {
    if (!packet) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        packet->m_nInfoField2 = streamId_;
        (audio ? audioQueue_ : videoQueue_).push_back(std::move(packet));
    }
    WakeSendThread();
}

void CLiveEngine::WakeSendThread() const {
    {
        std::lock_guard<std::mutex> guard(sendWakeLock_);
        sendWakePending_ = true;
    }
    sendWake_.notify_one();
}

void CLiveEngine::SendThread() {
    // A pass runs when a message was queued, when the live stops, and, while the server refuses, when the next
    // reconnection attempt is due; otherwise the thread sleeps. Nothing else changes what a pass can send.
    while (!sendStop_) {
        SendStep();
        std::unique_lock<std::mutex> guard(sendWakeLock_);
        const auto woken = [this] { return sendStop_ || sendWakePending_; };
        if (state_ == kEngineReconnectFailed) {
            const uint32_t since = tick_() - lastAttemptTick_;
            const uint32_t interval = reconnectIntervalMs_;
            const uint32_t wait = std::max<uint32_t>(since < interval ? interval - since : 0, 1);
            sendWake_.wait_for(guard, std::chrono::milliseconds(wait), woken);
        } else {
            sendWake_.wait(guard, woken);
        }
        sendWakePending_ = false;
    }
    FlushOnStop();
}

void CLiveEngine::TrimLocked() {
    while (audioQueue_.size() > kMaxQueuedAudio) {
        audioQueue_.pop_front();
        ++packetsTrimmed_;
    }
    const size_t maxVideo = static_cast<size_t>(liveFps_) * kQueuedVideoSeconds;
    while (videoQueue_.size() > maxVideo) {
        videoQueue_.pop_front();
        ++packetsTrimmed_;
    }
}

RTMPPacket* CLiveEngine::ChooseLocked(bool withThresholds, bool* isAudio) {
    const bool haveAudio = !audioQueue_.empty();
    const bool haveVideo = !videoQueue_.empty();
    if (haveAudio && haveVideo) {
        *isAudio = audioQueue_.front()->m_nTimeStamp <= videoQueue_.front()->m_nTimeStamp;
    } else if (haveVideo) {
        // With only one stream flowing, messages wait until enough have gathered that the other stream's next
        // message could not have come before them.
        if (withThresholds && videoQueue_.size() < liveFps_) return nullptr;
        *isAudio = false;
    } else if (haveAudio) {
        if (withThresholds && audioQueue_.size() < kAudioOnlySendThreshold) return nullptr;
        *isAudio = true;
    } else {
        return nullptr;
    }
    return (*isAudio ? audioQueue_ : videoQueue_).front().get();
}

void CLiveEngine::PopHead(bool isAudio) {
    std::lock_guard<std::mutex> guard(lock_);
    std::deque<QueuedPacketPtr>& queue = isAudio ? audioQueue_ : videoQueue_;
    if (!queue.empty()) queue.pop_front();
}

int CLiveEngine::SendStep() {
    if (!rtmp_) {
        ++sendPasses_;
        return -1;
    }
    int sent = 0;
    while (!IsStopped(state_)) {
        RTMPPacket* head = nullptr;
        bool isAudio = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            TrimLocked();
            head = ChooseLocked(true, &isAudio);
        }
        if (head == nullptr) break;
        // Only this thread removes messages, so the head stays valid outside the lock.
        const int result = SendMessage(head);
        if (result < 0) {
            // The message stays at the head of its queue and goes out on the next connection.
            if (!IsStopped(state_)) Reconnect();
            break;
        }
        PopHead(isAudio);
        if (result > 0) {
            ++sent;
            ++packetsSent_;
            PromoteToPublishing();
        }
    }
    ++sendPasses_;
    return sent;
}

int CLiveEngine::SendMessage(RTMPPacket* packet) {
    IRtmpConnection* connection = rtmp_.get();
    if (connection == nullptr || !connection->IsConnected()) return -1;
    if (needHeaders_ && !SendSequenceHeaders()) return -1;
    // Messages queued before a reconnection carry the old connection's stream id.
    packet->m_nInfoField2 = connection->StreamId();
    return connection->Send(packet) ? 1 : 0;
}

bool CLiveEngine::SendSequenceHeaders() {
    // A server that was restarted knows nothing of the stream: players that join it can only decode once the
    // codec headers have been sent again, which would otherwise happen only after five minutes.
    IRtmpConnection* connection = rtmp_.get();
    if (!sps_.empty() && !pps_.empty()) {
        QueuedPacketPtr header = BuildAvcSequenceHeader(sps_.data(), sps_.size(), pps_.data(), pps_.size());
        if (header) {
            header->m_nInfoField2 = connection->StreamId();
            if (!connection->Send(header.get())) return false;
        }
    }
    if (!audioConfig_.empty()) {
        QueuedPacketPtr header = BuildAacSequenceHeader(audioConfig_.data(), audioConfig_.size());
        if (header) {
            header->m_nInfoField2 = connection->StreamId();
            if (!connection->Send(header.get())) return false;
        }
    }
    needHeaders_ = false;
    return true;
}

void CLiveEngine::PromoteToPublishing() {
    int32_t current = state_;
    while (current == kEnginePublishStarting || current == kEngineReconnecting || current == kEngineReconnectFailed) {
        if (state_.compare_exchange_weak(current, kEngineLivePublishing)) {
            if (current == kEnginePublishStarting)
                Log(LogLevel::kInfo, "engine", "publishing: the server took the live's first message");
            Post(kEngineLivePublishing);
            return;
        }
    }
}

void CLiveEngine::Reconnect() {
    int32_t current = state_;
    if (current == kEngineReconnecting || IsStopped(current) || !livePublish_) return;
    const uint32_t now = tick_();
    // While the server refuses, one attempt per interval; the queues keep filling (and trimming) meanwhile.
    if (current == kEngineReconnectFailed && now - lastAttemptTick_ < reconnectIntervalMs_) return;
    lastAttemptTick_ = now;
    if (!state_.compare_exchange_strong(current, kEngineReconnecting)) return;
    // The state to return to is the live's, not the failure of the previous attempt.
    if (current != kEngineReconnectFailed) {
        savedState_ = current;
        Log(LogLevel::kWarning, "engine", "the connection to the RTMP server was lost; reconnecting");
    }
    Post(kEngineReconnecting);

    std::unique_ptr<IRtmpConnection> old;
    {
        std::lock_guard<std::mutex> guard(connLock_);
        if (cancelConnect_) return;  // StopLive has taken over
        old = std::move(rtmp_);
        rtmp_ = connectionFactory_();
        connecting_ = true;
    }
    old.reset();
    const int opened = rtmp_->Open(liveUrl_);
    {
        std::lock_guard<std::mutex> guard(connLock_);
        connecting_ = false;
    }
    int32_t expected = kEngineReconnecting;
    if (opened <= 0) {
        state_.compare_exchange_strong(expected, kEngineReconnectFailed);
        return;
    }
    streamId_ = rtmp_->StreamId();
    needHeaders_ = true;
    // What waited for the connection goes out on the next pass, without waiting for another message.
    WakeSendThread();
    if (state_.compare_exchange_strong(expected, savedState_)) {
        Post(savedState_);
        Log(LogLevel::kInfo, "engine", "reconnected to the RTMP server");
    }
}

void CLiveEngine::FlushOnStop() {
    if (!rtmp_ || !livePublish_) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopFlushMs);
    while (std::chrono::steady_clock::now() < deadline) {
        RTMPPacket* head = nullptr;
        bool isAudio = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            head = ChooseLocked(false, &isAudio);
        }
        if (head == nullptr) return;
        const int result = SendMessage(head);
        if (result < 0) return;
        PopHead(isAudio);
        if (result > 0) ++packetsSent_;
    }
}

std::string CLiveEngine::MakeRecordPath() {
    if (state_ != kEngineIdle) return MakeRecordPathIn(liveFolder_);
    std::string folder = Trim(recordFolder);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return MakeRecordPathIn(folder);
}

std::string CLiveEngine::MakeRecordPathIn(const std::string& folder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char day[32];
    std::snprintf(day, sizeof(day), "/%d-%.2d-%.2d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const std::string dayFolder = folder + day;
    if (!IsDirectory(dayFolder)) mkdir(dayFolder.c_str(), 0755);  // a failure shows when the file is opened
    char name[32];
    std::snprintf(name, sizeof(name), "/BV%.2d%.2d%.2d", local.tm_hour, local.tm_min, local.tm_sec);
    const std::string base = dayFolder + name;
    // A second live in the same second, or in the hour repeated when summer time ends, must not overwrite
    // the earlier recording.
    std::string path = base + ".mp4";
    for (int n = 2; Exists(path) && n < kMaxNameSuffix; ++n) path = base + "_" + std::to_string(n) + ".mp4";
    return path;
}
