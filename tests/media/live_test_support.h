// Test helpers for the live engine and the recorder: a stand-in RTMP server that records every message it is
// sent, encoded units made by hand, a sound producer that feeds the engine like the mixer does, status logs,
// temporary folders, and ffprobe/ffmpeg runs that read recordings and streams back.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/live_engine.h"
#include "platform/media_clock.h"
#include "platform/queue_window_target.h"

namespace live_test {

using namespace std::chrono_literals;

// One message as the server received it.
struct SentMessage {
    uint8_t type = 0;
    int channel = 0;
    uint32_t timestamp = 0;
    int32_t streamId = 0;
    int connection = 0;  // which Open (1 = the first) carried it
    std::vector<uint8_t> body;

    bool IsAacHeader() const { return type == 8 && body.size() >= 2 && body[1] == 0; }
    bool IsAacFrame() const { return type == 8 && body.size() >= 2 && body[1] == 1; }
    bool IsAvcHeader() const { return type == 9 && body.size() >= 2 && body[1] == 0; }
    bool IsAvcNal() const { return type == 9 && body.size() >= 2 && body[1] == 1; }
};

// The shared state behind every connection the engine makes through Factory(): whether the server accepts,
// whether the current connection has been dropped, and what it was sent.
class FakeServer : public std::enable_shared_from_this<FakeServer> {
public:
    RtmpConnectionFactory Factory() {
        auto self = shared_from_this();
        return [self] { return std::unique_ptr<IRtmpConnection>(new Connection(self)); };
    }

    // Connections made from now on are refused.
    void Refuse(bool refuse) { refuse_ = refuse; }
    // The connection in use counts as lost from now on.
    void DropConnection() { ++generation_; }

    int Opens() const { return opens_; }
    size_t Count() {
        std::lock_guard<std::mutex> guard(lock_);
        return sent_.size();
    }
    std::vector<SentMessage> Sent() {
        std::lock_guard<std::mutex> guard(lock_);
        return sent_;
    }
    bool WaitForCount(size_t n, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, timeout, [&] { return sent_.size() >= n; });
    }
    // The stream id the n-th accepted connection gets (1, 7, 13, ...), so that messages show which one carried
    // them.
    static int32_t StreamIdOf(int connection) { return 1 + 6 * (connection - 1); }

private:
    class Connection : public IRtmpConnection {
    public:
        explicit Connection(std::shared_ptr<FakeServer> server) : server_(std::move(server)) {}
        int Open(const std::string&) override {
            const int n = ++server_->opens_;
            if (server_->refuse_) return 0;
            number_ = n;
            generation_ = server_->generation_;
            connected_ = true;
            return 1;
        }
        bool IsConnected() override { return connected_ && generation_ == server_->generation_; }
        bool Send(RTMPPacket* packet) override {
            if (!IsConnected()) return false;
            SentMessage m;
            m.type = packet->m_packetType;
            m.channel = packet->m_nChannel;
            m.timestamp = packet->m_nTimeStamp;
            m.streamId = packet->m_nInfoField2;
            m.connection = number_;
            m.body.assign(packet->m_body, packet->m_body + packet->m_nBodySize);
            {
                std::lock_guard<std::mutex> guard(server_->lock_);
                server_->sent_.push_back(std::move(m));
            }
            server_->changed_.notify_all();
            return true;
        }
        int32_t StreamId() const override { return connected_ ? StreamIdOf(number_) : 0; }
        void Abort() override { connected_ = false; }

    private:
        std::shared_ptr<FakeServer> server_;
        int number_ = 0;
        int generation_ = 0;
        std::atomic<bool> connected_{false};
    };

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<SentMessage> sent_;
    std::atomic<int> opens_{0};
    std::atomic<bool> refuse_{false};
    std::atomic<int> generation_{0};
};

// A hand-made encoded unit that owns its bytes.
struct Unit {
    std::vector<uint8_t> bytes;
    EncodedPacket packet{};

    // An H.264 slice behind a 4-byte start code: NAL type 5 for a key frame, else 1, then payload bytes.
    static Unit Video(int64_t pts, int64_t dts, bool key, size_t payload = 200) {
        Unit u;
        u.bytes = {0, 0, 0, 1, static_cast<uint8_t>(key ? 0x65 : 0x41)};
        for (size_t i = 0; i < payload; ++i) u.bytes.push_back(static_cast<uint8_t>(i * 7 + pts));
        u.packet.prefixLength = 4;
        u.packet.mediaKind = MEDIA_VIDEO;
        u.packet.frameType = key ? 1 : 2;
        u.packet.pts = pts;
        u.packet.dts = dts;
        u.Fix();
        return u;
    }
    static Unit Audio(int64_t pts, size_t size = 300) {
        Unit u;
        for (size_t i = 0; i < size; ++i) u.bytes.push_back(static_cast<uint8_t>(0x21 + i));
        u.packet.mediaKind = MEDIA_AUDIO;
        u.packet.durationMs = 23;
        u.packet.pts = pts;
        u.packet.dts = pts;
        u.Fix();
        return u;
    }
    void Fix() {
        packet.data = bytes.data();
        packet.size = static_cast<int32_t>(bytes.size());
    }
    void SendTo(CLiveEngine* engine) {
        Fix();
        CLiveEngine::OnPacket(packet.mediaKind == MEDIA_AUDIO ? PACKET_TYPE_AUDIO : PACKET_TYPE_VIDEO, engine,
                              packet.size, 0, &packet);
    }
};

// Every WM_LIVE_STATUS the engine posted, in order.
struct StatusLog {
    CQueueWindowTarget window;
    std::vector<int32_t> seen;

    // Waits for the state among the reports (elapsed-time reports included); false on time-out.
    bool WaitFor(int32_t state, std::chrono::milliseconds timeout = 15s) {
        ThreadMessage m;
        const bool found = window.WaitFor(
            [&](const ThreadMessage& msg) {
                if (msg.code == WM_LIVE_STATUS && msg.lParam == 0) seen.push_back(static_cast<int32_t>(msg.wParam));
                return msg.code == WM_LIVE_STATUS && static_cast<int32_t>(msg.wParam) == state && msg.lParam == 0;
            },
            timeout, &m);
        return found;
    }
    // Takes whatever arrived so far.
    std::vector<int32_t> Drain() {
        for (const ThreadMessage& msg : window.TakeAll())
            if (msg.code == WM_LIVE_STATUS && msg.lParam == 0) seen.push_back(static_cast<int32_t>(msg.wParam));
        return seen;
    }
};

// Waits until cond() holds, checking every few milliseconds.
inline bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Waits until the send thread has gone over the queues at least `passes` more times. The thread sleeps while
// nothing changes, so it is woken for each pass.
inline bool WaitForSendPasses(const CLiveEngine& engine, uint64_t passes = 3) {
    const uint64_t target = engine.SendPasses() + passes;
    return WaitUntil([&] {
        engine.WakeSendThread();
        return engine.SendPasses() >= target;
    });
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/bv-live-test-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    // BV_KEEP_TEST_FILES=1 leaves the files for a look after a failure.
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty() && std::getenv("BV_KEEP_TEST_FILES") == nullptr) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Runs a shell command and returns what it wrote on standard output (standard error goes to errors when given).
inline int Run(const std::string& command, std::string* out = nullptr) {
    std::string text;
    const bool redirects = command.find("2>") != std::string::npos;
    FILE* pipe = popen((redirects ? command : command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
    const int status = pclose(pipe);
    if (out != nullptr) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ffprobe's compact output: one line per entry, "key=value" fields separated by '|'.
inline std::vector<std::map<std::string, std::string>> Entries(const std::string& text) {
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::map<std::string, std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '|')) {
            const size_t eq = cell.find('=');
            if (eq != std::string::npos) fields[cell.substr(0, eq)] = cell.substr(eq + 1);
        }
        if (!fields.empty()) rows.push_back(fields);
    }
    return rows;
}

inline double Number(const std::map<std::string, std::string>& row, const std::string& key) {
    const auto it = row.find(key);
    return it == row.end() || it->second.empty() || it->second == "N/A" ? NAN : std::atof(it->second.c_str());
}

inline std::string Text(const std::map<std::string, std::string>& row, const std::string& key) {
    const auto it = row.find(key);
    return it == row.end() ? std::string() : it->second;
}

struct ProbedStream {
    std::string type;   // "video" / "audio"
    std::string codec;  // "h264" / "aac"
    double startTime = 0;
    double sampleRate = 0;
};

struct ProbedPacket {
    std::string type;
    double pts = NAN;
    double dts = NAN;
    bool key = false;
};

inline std::string Quoted(const std::string& file) { return "'" + file + "'"; }

// What ffprobe reads from a file: its streams and every packet in file order.
struct Probe {
    bool ok = false;
    std::vector<ProbedStream> streams;
    std::vector<ProbedPacket> packets;

    explicit Probe(const std::string& file) {
        std::string text;
        if (Run("ffprobe -v error -show_entries stream=codec_type,codec_name,start_time,sample_rate -of compact=p=0 " +
                    Quoted(file),
                &text) != 0)
            return;
        for (const auto& row : Entries(text)) {
            ProbedStream s;
            s.codec = Text(row, "codec_name");
            s.type = Text(row, "codec_type");
            const double start = Number(row, "start_time");
            s.startTime = std::isnan(start) ? 0 : start;
            s.sampleRate = Number(row, "sample_rate");
            streams.push_back(s);
        }
        if (Run("ffprobe -v error -show_entries packet=codec_type,pts_time,dts_time,flags -of compact=p=0 " +
                    Quoted(file),
                &text) != 0)
            return;
        for (const auto& row : Entries(text)) {
            ProbedPacket p;
            p.type = Text(row, "codec_type");
            p.pts = Number(row, "pts_time");
            p.dts = Number(row, "dts_time");
            p.key = Text(row, "flags").find('K') != std::string::npos;
            packets.push_back(p);
        }
        ok = true;
    }

    const ProbedStream* Stream(const std::string& type) const {
        for (const auto& s : streams)
            if (s.type == type) return &s;
        return nullptr;
    }
    std::vector<ProbedPacket> Packets(const std::string& type) const {
        std::vector<ProbedPacket> out;
        for (const auto& p : packets)
            if (p.type == type) out.push_back(p);
        return out;
    }
};

// Decodes a file as a player would: the number of video frames (and key frames) and the seconds of sound
// that come out, and whether the decoders reported any error.
struct Decoded {
    bool ok = false;
    bool clean = false;
    int videoFrames = 0;
    int keyFrames = 0;
    double audioSeconds = 0;

    explicit Decoded(const std::string& file) {
        const Probe probe(file);
        const ProbedStream* audio = probe.Stream("audio");
        const double rate = audio != nullptr && audio->sampleRate > 0 ? audio->sampleRate : 44100;
        std::string text;
        if (Run("ffprobe -v error -show_entries frame=media_type,key_frame,nb_samples -of compact=p=0 " + Quoted(file),
                &text) != 0)
            return;
        for (const auto& row : Entries(text)) {
            if (Text(row, "media_type") == "video") {
                ++videoFrames;
                if (Text(row, "key_frame") == "1") ++keyFrames;
            } else if (Text(row, "media_type") == "audio") {
                const double samples = Number(row, "nb_samples");
                if (!std::isnan(samples)) audioSeconds += samples / rate;
            }
        }
        ok = true;
        // Only the decoders' complaints (ffprobe muxes nothing, so timestamps are not judged here).
        std::string errors;
        Run("ffprobe -v error -show_frames " + Quoted(file) + " 2>&1 >/dev/null", &errors);
        clean = errors.empty();
    }
};

inline bool FileContains(const std::string& file, const std::string& needle) {
    std::ifstream in(file, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return data.find(needle) != std::string::npos;
}

// The .mp4 files below a folder, sorted by name.
inline std::vector<std::string> Recordings(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored))
        if (entry.path().extension() == ".mp4") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Feeds the engine 40 ms blocks of a 440 Hz tone at 44100 Hz stereo, stamped and paced against the media clock
// from timeBase, the way the audio mixer does during a live.
class SoundFeeder {
public:
    SoundFeeder(IAudioFeed* engine, int64_t timeBase) : engine_(engine), timeBase_(timeBase) {
        thread_ = std::thread([this] { Run(); });
    }
    ~SoundFeeder() { Stop(); }
    void Stop() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    int Blocks() const { return blocks_; }

private:
    void Run() {
        pthread_setname_np(pthread_self(), "test-sound");
        constexpr int kRate = 44100, kBlockFrames = kRate / 25;
        std::vector<int16_t> block(kBlockFrames * 2);
        for (int64_t k = 0;; ++k) {
            const int64_t due = timeBase_ + (k + 1) * 40;
            std::unique_lock<std::mutex> guard(lock_);
            // The block is complete once its last sample is in the past; the mixer hands it on then.
            wake_.wait_for(guard, std::chrono::milliseconds(std::max<int64_t>(0, due - GetMediaTimeMs())),
                           [&] { return stop_ || GetMediaTimeMs() >= due; });
            if (stop_) return;
            guard.unlock();
            for (int i = 0; i < kBlockFrames; ++i) {
                const double t = static_cast<double>(k * kBlockFrames + i) / kRate;
                const auto v = static_cast<int16_t>(std::lround(8000 * std::sin(2 * 3.14159265358979 * 440 * t)));
                block[i * 2] = block[i * 2 + 1] = v;
            }
            if (IsLiveState(engine_->State()) && engine_->HasAudioEncoder()) {
                engine_->EncodeAudio(reinterpret_cast<const uint8_t*>(block.data()),
                                     static_cast<int32_t>(block.size() * 2), static_cast<uint32_t>(k * 40));
                ++blocks_;
            }
        }
    }

    IAudioFeed* engine_;
    int64_t timeBase_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<int> blocks_{0};
    std::thread thread_;
};

// 40 ms of the tone at 44100 Hz stereo for block k (for feeding the engine without a clock).
inline std::vector<int16_t> ToneBlock(int64_t k) {
    constexpr int kRate = 44100, kBlockFrames = kRate / 25;
    std::vector<int16_t> block(kBlockFrames * 2);
    for (int i = 0; i < kBlockFrames; ++i) {
        const double t = static_cast<double>(k * kBlockFrames + i) / kRate;
        block[i * 2] = block[i * 2 + 1] =
            static_cast<int16_t>(std::lround(8000 * std::sin(2 * 3.14159265358979 * 440 * t)));
    }
    return block;
}

// A program run in the background (a player reading the stream), stopped by its pid.
class Background {
public:
    explicit Background(const std::string& command) {
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            const int devnull = open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                dup2(devnull, STDIN_FILENO);
                dup2(devnull, STDOUT_FILENO);
                dup2(devnull, STDERR_FILENO);
            }
            execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Background() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            Wait(5s);
        }
    }
    // True when the program ended within the time; its exit status in *status.
    bool Wait(std::chrono::milliseconds timeout, int* status = nullptr) {
        if (pid_ <= 0) return false;
        if (exited_) return true;
        const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
        if (pidfd < 0) return false;
        pollfd p{pidfd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(timeout.count()));
        close(pidfd);
        if (ready <= 0) return false;
        int st = 0;
        waitpid(pid_, &st, 0);
        exited_ = true;
        if (status != nullptr) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        return true;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

}  // namespace live_test
