// The local recorder: writes the live's H.264 and AAC units into MP4 files through libavformat on a writer thread
// of its own ("recorder"), interleaved by decoding time, and moves on to a new file at a key frame when the engine
// asks. The live engine embeds one: it opens it on the main thread at the start of a recording live, feeds it
// every unit on the producer threads (AddVideo from the composition thread, AddAudio from the mixing thread) and
// stops it from StopLive.
//
// While a live runs the file is a fragmented MP4 cut at every video key frame and pushed to the disk fragment by
// fragment, so a crash, a kill or a power cut leaves a file that plays up to its last key frame. A file that was
// finished normally is rewritten as an ordinary MP4 by a second thread ("rec-finish") that the recorder owns.
// A write error (a full disk) or a recording folder that disappears ends the recording: the recorder says so on
// standard error and drops further units; publishing is never held up by it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "media/codec.h"
#include "platform/ffmpeg/av_owners.h"
#include "platform/thread_message_queue.h"
#include "platform/window_messages.h"

constexpr uint32_t WM_RECORDER_NEXTFILE = WM_USER + 0x22B;
static_assert(WM_RECORDER_NEXTFILE == 0x62B);

class CRecorder {
public:
    CRecorder();
    ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // The engine's two blocks (read when a file is opened) and the first file's path; set before OpenRecording.
    void SetParams(const CodecParams* video, const CodecParams* audio);
    void SetPath(const std::string& path);

    // Stops a running writer first, opens the file and starts the writer thread. Returns 1; a file that cannot
    // be created is reported on standard output and its units are dropped.
    int32_t OpenRecording();
    // Any thread: the writer finishes the current file at the next video key frame and continues in path.
    int32_t NextFile(const std::string& path);

    // Producer threads. -1 (unit dropped) when not running or writing has failed, when the dts does not
    // increase, or when the dts is after the pts. Further slices of the picture just added (same dts) join it.
    int32_t AddVideo(const EncodedPacket* packet);
    int32_t AddAudio(const EncodedPacket* packet);

    // Main thread: ends the writer after it has written every unit still queued, then finishes the file.
    void Stop();

    bool Running() const { return running_; }
    // Writing ended after an error; units are dropped until the next OpenRecording.
    bool Failed() const { return failed_; }
    // Waits until every finished file has been rewritten as an ordinary MP4.
    void WaitFinished();
    uint64_t PacketsWritten() const { return packetsWritten_; }
    uint64_t VideoPacketsWritten() const { return videoPacketsWritten_; }

    // How often the writer checks that the file it writes still exists.
    static constexpr int kVanishCheckMs = 1000;

private:
    void WriterThread();
    // Writer thread. Writes or switches on the head chosen by dts; false when nothing could be chosen.
    bool WriteOne(bool* switchPending);
    bool OpenOutput(const std::string& path);
    void FinishOutput();
    void FailWriting(const char* what, int error);
    void DropQueued();
    bool CurrentFileVanished();

    void FinisherThread();
    void QueueFinish(const std::string& path);

    const CodecParams* videoParams_ = nullptr;
    const CodecParams* audioParams_ = nullptr;

    std::mutex lock_;  // the queues, the dts bookkeeping, the picture being assembled and the paths
    std::deque<PacketPtr> audioQueue_;
    std::deque<PacketPtr> videoQueue_;
    PacketPtr picture_;  // the last picture added, held until the next one shows that it has all its slices
    int64_t lastAudioDts_ = -1;
    int64_t lastVideoDts_ = -INT64_MAX;
    int64_t lastVideoDuration_ = 0;
    std::string path_;
    std::string nextPath_;

    CThreadMessageQueue messages_;
    std::atomic<bool> running_{false};
    std::atomic<bool> failed_{false};
    std::thread writer_;
    std::mutex wakeLock_;
    std::condition_variable wake_;

    // Writer thread only.
    OutputContextPtr output_;
    std::string outputPath_;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    int64_t lastVanishCheckMs_ = 0;
    uint64_t filePackets_ = 0;
    std::atomic<uint64_t> packetsWritten_{0};
    std::atomic<uint64_t> videoPacketsWritten_{0};

    std::mutex finishLock_;
    std::condition_variable finishChanged_;
    std::deque<std::string> finishJobs_;
    bool finishBusy_ = false;
    bool finishStop_ = false;
    std::thread finisher_;
};

// Rewrites a fragmented MP4 as an ordinary one in place (through a temporary file beside it). False, with the
// original left as it was, when it cannot be read or the copy cannot be written.
bool RewriteAsPlainMp4(const std::string& path);
