// Helpers for the SourceKit tests: media made by the ffmpeg program in a fresh folder, local servers
// (ffmpeg's one-shot HTTP server, a private nginx-rtmp) started and stopped by process id, and a
// recorder that keeps copies of everything the library's callback delivers.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "imaging/image_buffer.h"
#include "sourcekit/sourcekit.h"
#include "tests/common/media_dir.h"

extern char** environ;

namespace sktest {

// The monotonic clock in milliseconds: the clock SourceKit stamps its deliveries with.
inline int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// A child process started without a shell, its output thrown away; stopped (TERM, then KILL) and
// reaped by its process id.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(std::vector<std::string> args) {
        Stop();
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return false;
        pid_ = pid;
        return true;
    }

    // True until the process has ended (reaping it then).
    bool Running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }

    // Waits up to timeout for the process to end by itself; its exit code, or -1.
    int Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        if (Wait(std::chrono::seconds(3)) == -1 && pid_ > 0) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }

    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// A clip from lavfi sources: testsrc2 video (size, rate, pixel format, codec) and, unless audioCodec
// is empty, a 440 Hz sine at audioRate. Returns the path, or "" when ffmpeg failed.
struct ClipSpec {
    double seconds = 1.0;
    int width = 160;
    int height = 120;
    int fps = 30;
    std::string videoSource = "testsrc2";  // "" for no video
    std::string pixelFormat = "yuv420p";
    std::string videoCodec = "libx264";
    std::string audioCodec = "aac";  // "" for no sound
    int audioRate = 48000;
    int samplesPerFrame = 0;         // 0: the sine source's default
    std::vector<std::string> extra;  // output options before the file name
};

inline std::string MakeClip(const MediaDir& dir, const std::string& name, const ClipSpec& spec) {
    std::vector<std::string> args;
    const std::string duration = std::to_string(spec.seconds);
    if (!spec.videoSource.empty()) {
        // The source's own options come first ("color=c=red"), then size, rate and duration.
        const char* joiner = spec.videoSource.find('=') == std::string::npos ? "=" : ":";
        args.insert(args.end(),
                    {"-f", "lavfi", "-i",
                     spec.videoSource + joiner + "s=" + std::to_string(spec.width) + "x" + std::to_string(spec.height) +
                         ":r=" + std::to_string(spec.fps) + ":d=" + duration});
    }
    if (!spec.audioCodec.empty()) {
        std::string sine = "sine=f=440:r=" + std::to_string(spec.audioRate) + ":d=" + duration;
        if (spec.samplesPerFrame > 0) sine += ":samples_per_frame=" + std::to_string(spec.samplesPerFrame);
        args.insert(args.end(), {"-f", "lavfi", "-i", sine});
    }
    if (!spec.videoSource.empty()) {
        args.insert(args.end(), {"-c:v", spec.videoCodec, "-pix_fmt", spec.pixelFormat});
        if (spec.videoCodec == "libx264") args.insert(args.end(), {"-preset", "ultrafast", "-g", "15"});
    }
    if (!spec.audioCodec.empty()) args.insert(args.end(), {"-c:a", spec.audioCodec});
    args.insert(args.end(), spec.extra.begin(), spec.extra.end());
    const std::string path = dir.Path(name);
    args.push_back(path);
    return RunFfmpeg(args) ? path : "";
}

// A TCP port on 127.0.0.1 that nothing listens on right now.
inline int FreeTcpPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

// Whether something listens on the TCP port, read from the kernel's table: a test connection would
// be taken as the client by a one-shot server.
inline bool Listening(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        const size_t colon = local.find(':');
        if (colon == std::string::npos || state != "0A") continue;
        if (std::stoi(local.substr(colon + 1), nullptr, 16) == port) return true;
    }
    return false;
}

inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// ffmpeg serving a file once, in real time, as FLV over HTTP on 127.0.0.1.
class HttpFlvServer {
public:
    bool Start(const std::string& file, int port) {
        url_ = "http://127.0.0.1:" + std::to_string(port) + "/stream.flv";
        if (!process_.Start({"ffmpeg", "-nostdin", "-v", "error", "-re", "-i", file, "-c", "copy", "-f", "flv",
                             "-listen", "1", url_})) {
            return false;
        }
        return WaitUntil([&] { return Listening(port); }, std::chrono::seconds(10));
    }
    void Stop() { process_.Stop(); }
    const std::string& Url() const { return url_; }

private:
    ChildProcess process_;
    std::string url_;
};

// A minimal HTTP server on 127.0.0.1 that answers one request with the given bytes, all at once,
// and then either closes the connection (the stream breaks off wherever the bytes end) or keeps it
// open without sending anything more (a stalled server). After that one answer the port is closed,
// so a client that comes back is refused. Counts the connections it accepted.
class ByteServer {
public:
    ByteServer(std::vector<uint8_t> bytes, bool holdOpen) : bytes_(std::move(bytes)), holdOpen_(holdOpen) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ByteServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int fd : held_) close(fd);
        if (listener_ >= 0) close(listener_);
    }
    ByteServer(const ByteServer&) = delete;
    ByteServer& operator=(const ByteServer&) = delete;

    std::string Url(const std::string& name) const { return "http://127.0.0.1:" + std::to_string(port_) + "/" + name; }
    int Connections() const { return connections_; }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            ++connections_;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                pollfd r{fd, POLLIN, 0};
                if (poll(&r, 1, 2000) <= 0) break;
                const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
                if (n <= 0) break;
                request.append(buffer, static_cast<size_t>(n));
            }
            const std::string header = "HTTP/1.0 200 OK\r\nContent-Type: video/x-flv\r\n\r\n";
            send(fd, header.data(), header.size(), MSG_NOSIGNAL);
            size_t sent = 0;
            while (sent < bytes_.size()) {
                const ssize_t n = send(fd, bytes_.data() + sent, bytes_.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            if (holdOpen_) {
                held_.push_back(fd);
            } else {
                close(fd);
            }
            close(listener_);
            listener_ = -1;
            return;
        }
    }

    std::vector<uint8_t> bytes_;
    bool holdOpen_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::vector<int> held_;
    std::thread thread_;
};

// A private single-process nginx with the RTMP module (application "live") and an ffmpeg that
// publishes a file into it in real time.
class NginxRtmp {
public:
    explicit NginxRtmp(const MediaDir& dir) : dir_(dir) {}

    bool StartServer(int port) {
        port_ = port;
        const std::string conf = dir_.Path("nginx.conf");
        std::ofstream out(conf, std::ios::trunc);
        out << "load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;\n"
            << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
            << "pid " << dir_.Path("nginx.pid") << ";\n"
            << "error_log " << dir_.Path("nginx-error.log") << ";\n"
            << "events { worker_connections 64; }\n"
            << "rtmp { server { listen 127.0.0.1:" << port << "; application live { live on; record off; } } }\n";
        out.close();
        if (!server_.Start({"nginx", "-p", dir_.Root(), "-c", conf, "-e", dir_.Path("nginx-error.log")})) return false;
        return WaitUntil([&] { return Listening(port); }, std::chrono::seconds(10));
    }

    // Publishes file (looping it) as stream "s".
    bool Publish(const std::string& file) {
        return publisher_.Start({"ffmpeg", "-nostdin", "-v", "error", "-re", "-stream_loop", "-1", "-i", file, "-c",
                                 "copy", "-f", "flv", Url()});
    }

    void StopAll() {
        publisher_.Stop();
        server_.Stop();
    }

    std::string Url() const { return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/s"; }

private:
    const MediaDir& dir_;
    int port_ = 0;
    ChildProcess server_;
    ChildProcess publisher_;
};

inline bool NginxAvailable() {
    return std::filesystem::exists("/usr/lib/nginx/modules/ngx_rtmp_module.so") &&
           (std::filesystem::exists("/usr/sbin/nginx") || std::filesystem::exists("/usr/bin/nginx"));
}

struct VideoEvent {
    int64_t arrivalMs = 0;
    uint32_t timestamp = 0;
    int32_t infoTimestamp = 0;
    FrameInfo info{};
    const void* image = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    uint32_t fourcc = 0;
    int32_t fixed[3] = {};
    std::vector<uint8_t> pixels;  // a copy of the whole image
};

struct AudioEvent {
    int64_t arrivalMs = 0;
    int32_t size = 0;
    FrameInfo info{};
};

struct EndEvent {
    int64_t arrivalMs = 0;
    int32_t size = -1;
    bool nullData = false;
    bool nullInfo = false;
};

// Keeps a copy of every delivery of one device. Deliveries after Close() count as violations.
class Recorder {
public:
    static void Callback(int32_t kind, void* user, int32_t size, void* data, FrameInfo* info) {
        static_cast<Recorder*>(user)->Record(kind, size, data, info);
    }

    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }

    // Waits until condition (evaluated under the lock) holds; false at the deadline.
    // The condition is also looked at every 20 ms, so that it may depend on the time.
    bool WaitFor(const std::function<bool(const Recorder&)>& condition, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::unique_lock<std::mutex> lock(mutex_);
        while (!condition(*this)) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            changed_.wait_for(lock, std::chrono::milliseconds(20));
        }
        return true;
    }

    template <typename T>
    T Read(const std::function<T(const Recorder&)>& reader) {
        std::lock_guard<std::mutex> lock(mutex_);
        return reader(*this);
    }

    size_t VideoCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return video.size();
    }
    size_t AudioCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return audio.size();
    }
    std::vector<VideoEvent> Video() {
        std::lock_guard<std::mutex> lock(mutex_);
        return video;
    }
    std::vector<AudioEvent> Audio() {
        std::lock_guard<std::mutex> lock(mutex_);
        return audio;
    }
    std::vector<EndEvent> Ends() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ends;
    }
    std::vector<int16_t> Pcm() {
        std::lock_guard<std::mutex> lock(mutex_);
        return pcm;
    }
    int64_t PcmBytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return pcmBytes;
    }
    int AfterClose() {
        std::lock_guard<std::mutex> lock(mutex_);
        return afterClose;
    }

    bool keepPixels = true;
    bool keepPcm = true;
    // Deliveries beyond this many per kind are counted but not kept (an unpaced test source makes
    // thousands a second).
    size_t maxKept = 5000;

    std::vector<VideoEvent> video;
    std::vector<AudioEvent> audio;
    std::vector<EndEvent> ends;
    std::vector<int16_t> pcm;
    int64_t pcmBytes = 0;
    int afterClose = 0;
    int64_t videoDelivered = 0;

private:
    void Record(int32_t kind, int32_t size, void* data, FrameInfo* info) {
        const int64_t now = NowMs();
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) ++afterClose;
        if (kind == SK_KIND_VIDEO) {
            ++videoDelivered;
            if (video.size() >= maxKept) {
                changed_.notify_all();
                return;
            }
            const auto* image = static_cast<const ImageBuffer*>(data);
            VideoEvent e;
            e.arrivalMs = now;
            e.timestamp = image->timestamp;
            e.infoTimestamp = info != nullptr ? info->slots[4] : 0;
            if (info != nullptr) e.info = *info;
            e.image = image;
            e.width = image->width;
            e.height = image->height;
            e.stride = image->strides[0];
            e.fourcc = image->fourcc;
            std::copy(image->fixed, image->fixed + 3, e.fixed);
            if (keepPixels) {
                e.pixels.assign(image->planes[0],
                                image->planes[0] + static_cast<size_t>(image->strides[0]) * image->height);
            }
            video.push_back(std::move(e));
        } else if (kind == SK_KIND_AUDIO) {
            if (audio.size() >= maxKept) {
                changed_.notify_all();
                return;
            }
            AudioEvent e;
            e.arrivalMs = now;
            e.size = size;
            if (info != nullptr) e.info = *info;
            audio.push_back(e);
            if (size > 0) {
                pcmBytes += size;
                if (keepPcm) {
                    const auto* samples = static_cast<const int16_t*>(data);
                    pcm.insert(pcm.end(), samples, samples + size / 2);
                }
            }
        } else if (kind == SK_KIND_END) {
            ends.push_back(EndEvent{now, size, data == nullptr, info == nullptr});
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
};

// Frequency of a tone in one channel of interleaved 16-bit PCM, from its upward zero crossings.
inline double ToneFrequency(const std::vector<int16_t>& pcm, int channels, int channel, int sampleRate) {
    int crossings = 0;
    size_t first = 0;
    size_t last = 0;
    for (size_t i = static_cast<size_t>(channels + channel); i < pcm.size(); i += static_cast<size_t>(channels)) {
        if (pcm[i - static_cast<size_t>(channels)] < 0 && pcm[i] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    const double seconds = static_cast<double>((last - first) / static_cast<size_t>(channels)) / sampleRate;
    return (crossings - 1) / seconds;
}

// BT.601 studio-range Y, U, V of an 8-bit R, G, B colour.
inline void ExpectedYuv(int r, int g, int b, int* y, int* u, int* v) {
    *y = static_cast<int>(std::lround(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0));
    *u = static_cast<int>(std::lround(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0));
    *v = static_cast<int>(std::lround(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0));
}

}  // namespace sktest
