// The live output engine: for each live it opens the encoders, the RTMP connection and the recording, turns every
// encoded unit into an RTMP message and a recorded sample, and publishes the messages from its send thread
// ("rtmp-send"), interleaved by timestamp, with bounded queues and automatic reconnection. Every change of its
// state is posted to the main window as WM_LIVE_STATUS.
// Threads: the main window's thread configures it and calls StartLive, GoLive and StopLive; the composition
// thread calls EncodeVideo (through ILiveFeed) and the mixing thread EncodeAudio (through IAudioFeed); the encoders
// hand the units to OnPacket on those threads; the send thread sends and reconnects.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/audio_feed.h"
#include "media/codec.h"
#include "media/flv_packet.h"
#include "media/live_feed.h"
#include "media/live_texts.h"
#include "media/recorder.h"
#include "media/rtmp_connection.h"

class CLiveEngine : public ILiveFeed, public IAudioFeed {
public:
    // The window receives WM_LIVE_STATUS; null swallows the reports.
    explicit CLiveEngine(IWindowTarget* window);
    ~CLiveEngine() override;
    CLiveEngine(const CLiveEngine&) = delete;
    CLiveEngine& operator=(const CLiveEngine&) = delete;

    // Filled by the main window before StartLive; a running live keeps the values it started with.
    bool recordEnabled = false;
    int32_t fps = 25;
    int32_t width = 0;
    int32_t height = 0;
    int32_t videoBitrate = 0;   // bits per second
    uint32_t audioBitrate = 0;  // bits per second; StartLive caps it at 128000
    int32_t channels = 2;
    int32_t sampleRate = 44100;
    bool publishEnabled = false;
    std::string publishUrl;  // rtmp://host[:port]/app/stream
    std::string recordFolder;
    bool useHardwareEncoder = false;

    // Opens the encoders, the connection and the recording: 1 and state Ready, or 0 and state Idle with
    // StartError() and ErrorText() saying why. Blocks while the RTMP server is connected (up to its timeout).
    int32_t StartLive();
    // Any thread: calls off a start. A StartLive under way (or the next one) fails with kCancelled at once, a
    // connection attempt it makes is cut short, and nothing it opened stays open. ClearAbort, on the thread
    // that starts lives, allows starts again.
    void AbortStart();
    void ClearAbort();
    // Releases what a successful StartLive opened when the live will not go on after all: Ready → Idle.
    // 0 (and nothing happens) unless Ready. The thread that started.
    int32_t CancelReady();
    // Ready → PublishStarting (or LiveRecording when not publishing) and the send thread runs. 0 unless Ready.
    int32_t GoLive();
    // Drains the encoders into the recording and the stream, ends the send thread and finishes the recording.
    // 0 (and nothing happens) unless a live runs.
    int32_t StopLive();

    // The packet sink installed in both encoder blocks; context is the engine.
    static int32_t OnPacket(int32_t type, void* context, int32_t size, int32_t reserved, EncodedPacket* packet);

    // FOLDER/YYYY-MM-DD/BVhhmmss.mp4 in local time; the day folder is created when missing, and a name already
    // taken gets _2, _3, ... before its extension.
    std::string MakeRecordPath();

    // ILiveFeed and IAudioFeed.
    int32_t State() const override { return state_; }
    bool HasVideoEncoder() const override { return hasVideoEncoder_; }
    void EncodeVideo(const uint8_t* yuy2, uint32_t pts) override;
    uint32_t LiveStartTick() const override { return goLiveTime_; }
    IWindowTarget* StatusWindow() const override { return window_; }
    bool HasAudioEncoder() const override { return hasAudioEncoder_; }
    void EncodeAudio(const uint8_t* pcm, int32_t bytes, uint32_t timestamp) override;

    LiveStartError StartError() const { return startError_; }
    // The text kept for the last start failure (the same in every interface language).
    const std::string& ErrorText() const { return errorText_; }
    std::string RecordPath() const;
    const CodecParams& VideoParams() const { return videoParams_; }
    const CodecParams& AudioParams() const { return audioParams_; }
    CRecorder& Recorder() { return recorder_; }

    // Messages waiting in the two queues.
    size_t QueuedAudio() const;
    size_t QueuedVideo() const;
    uint64_t PacketsSent() const { return packetsSent_; }
    uint64_t PacketsTrimmed() const { return packetsTrimmed_; }
    // Completed passes of the send thread over the queues.
    uint64_t SendPasses() const { return sendPasses_; }
    // Makes the send thread run one more pass (it otherwise sleeps until a message is queued).
    void WakeSendThread() const;
    // Units the encoders still held when the last live stopped, handed on by the drain.
    uint64_t DrainedVideoUnits() const { return drainedVideo_; }
    uint64_t DrainedAudioUnits() const { return drainedAudio_; }

    // For tests and benchmarks; set while no live runs unless said otherwise.
    using CodecFactory = std::function<std::unique_ptr<CBaseCodec>(int32_t mediaKind, bool hardware)>;
    void SetConnectionFactory(RtmpConnectionFactory factory) { connectionFactory_ = std::move(factory); }
    void SetCodecFactory(CodecFactory factory) { codecFactory_ = std::move(factory); }
    void SetSplitIntervalMs(int64_t ms) { splitIntervalMs_ = ms > 0 ? ms : kRecordSplitIntervalMs; }
    // 0 restores attempts without a pause (one per pass of the send thread); may change during a live.
    void SetReconnectIntervalMs(uint32_t ms) { reconnectIntervalMs_ = ms; }
    // The millisecond tick behind the sequence-header interval and the reconnection pacing.
    void SetTickSource(std::function<uint32_t()> tick);

    static constexpr int64_t kRecordSplitIntervalMs = 28'800'000;  // a new file every 8 hours of live time
    static constexpr uint32_t kSequenceHeaderIntervalMs = 300'000;
    static constexpr size_t kMaxQueuedAudio = 500;
    static constexpr uint32_t kQueuedVideoSeconds = 10;  // the video queue holds at most fps x 10 messages
    static constexpr size_t kAudioOnlySendThreshold = 40;
    static constexpr uint32_t kMaxVideoBitrate = 20'971'520;
    static constexpr uint32_t kMaxAudioBitrate = 128'000;
    static constexpr uint32_t kReconnectIntervalMs = 1000;
    // How long a stopping live may spend sending what is still queued.
    static constexpr int kStopFlushMs = 3000;
    // Silence pushed through the AAC encoder at stop, in frames, so that it hands out the sound it holds.
    static constexpr int kAudioFlushFrames = 3;

private:
    void SetState(int32_t state);
    void Post(int32_t state);
    int32_t Fail(LiveStartError error, const char* why);
    bool AcceptsUnits() const;
    void SetRecordPath(const std::string& path);
    std::string MakeRecordPathIn(const std::string& folder);

    void HandleVideo(const EncodedPacket& unit);
    void HandleAudio(const EncodedPacket& unit);
    void Enqueue(bool audio, QueuedPacketPtr packet);

    void SendThread();
    int SendStep();
    // Under lock_: the message to send next, or null. Thresholds apply while the live runs, not at stop.
    RTMPPacket* ChooseLocked(bool withThresholds, bool* isAudio);
    void TrimLocked();
    void PopHead(bool isAudio);
    // -1 when the connection is lost, 0 when the message could not be written, 1 when sent.
    int SendMessage(RTMPPacket* packet);
    bool SendSequenceHeaders();
    void PromoteToPublishing();
    void Reconnect();
    void FlushOnStop();

    void PushOutHeldSound();
    void ReleaseEncoders();
    void ReleaseReady();
    void CloseConnection();

    IWindowTarget* window_;
    std::string errorText_;
    LiveStartError startError_ = LiveStartError::kNone;
    std::atomic<int32_t> state_{kEngineIdle};
    int32_t savedState_ = kEngineIdle;  // send thread
    std::atomic<uint32_t> goLiveTime_{0};

    // The settings the running live started with.
    bool liveRecord_ = false;
    bool livePublish_ = false;
    uint32_t liveFps_ = 25;
    std::string liveUrl_;
    std::string liveFolder_;

    mutable std::mutex pathLock_;
    std::string recordPath_;

    // Encoders. Each lock keeps a producer's Encode apart from StopLive closing the encoder it runs on.
    std::mutex videoEncodeLock_;
    std::mutex audioEncodeLock_;
    std::unique_ptr<CBaseCodec> videoEncoder_;
    std::unique_ptr<CBaseCodec> audioEncoder_;
    bool videoClosed_ = true;
    bool audioClosed_ = true;
    std::atomic<bool> hasVideoEncoder_{false};
    std::atomic<bool> hasAudioEncoder_{false};
    std::atomic<bool> draining_{false};
    CodecParams videoParams_{};
    CodecParams audioParams_{};
    std::vector<uint8_t> sps_, pps_, audioConfig_;  // as the encoders reported them at the start
    bool audioFed_ = false;
    uint32_t nextAudioTimestamp_ = 0;

    CRecorder recorder_;

    // Producer threads: video and audio each their own.
    bool videoHeaderQueued_ = false;
    bool audioHeaderQueued_ = false;
    uint32_t lastVideoHeaderTime_ = 0;
    uint32_t lastAudioHeaderTime_ = 0;
    int64_t nextSplitPts_ = kRecordSplitIntervalMs;
    int64_t splitIntervalMs_ = kRecordSplitIntervalMs;

    mutable std::mutex lock_;  // the two queues
    std::deque<QueuedPacketPtr> audioQueue_;
    std::deque<QueuedPacketPtr> videoQueue_;

    // The connection. The send thread uses it without the lock (it is the only thread that replaces it during a
    // live); the lock orders a replacement against StopLive cutting short an attempt in progress.
    std::mutex connLock_;
    std::unique_ptr<IRtmpConnection> rtmp_;
    bool connecting_ = false;
    bool cancelConnect_ = false;
    bool startAborted_ = false;
    // The producers stamp messages with it while the send thread may be replacing the connection.
    std::atomic<int32_t> streamId_{0};
    RtmpConnectionFactory connectionFactory_;
    CodecFactory codecFactory_;

    std::thread sendThread_;
    std::atomic<bool> sendStop_{false};
    mutable std::mutex sendWakeLock_;
    mutable std::condition_variable sendWake_;
    mutable bool sendWakePending_ = false;
    bool needHeaders_ = false;  // send thread: a new connection gets the sequence headers before anything else
    std::atomic<uint32_t> reconnectIntervalMs_{kReconnectIntervalMs};
    uint32_t lastAttemptTick_ = 0;
    std::function<uint32_t()> tick_;

    std::atomic<uint64_t> packetsSent_{0};
    std::atomic<uint64_t> packetsTrimmed_{0};
    std::atomic<uint64_t> sendPasses_{0};
    std::atomic<uint64_t> drainedVideo_{0};
    std::atomic<uint64_t> drainedAudio_{0};
};
