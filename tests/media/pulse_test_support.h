// Feeding a private sound server's sources: a writer that pushes PCM into a module-pipe-source FIFO at the pace
// a real microphone would deliver it, and the module lines that make such a source.
#pragma once

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/media_clock.h"
#include "platform/thread_util.h"

// "load-module module-pipe-source ..." for a microphone named name (description `description`) read from
// DIR/name.fifo in the given layout ("s16le", "float32le").
inline std::string PipeSourceLine(const std::string& name, const std::string& description, const std::string& format,
                                  int rate) {
    return "load-module module-pipe-source source_name=" + name + " file=DIR/" + name + ".fifo format=" + format +
           " rate=" + std::to_string(rate) + " channels=2 source_properties=device.description=" + description;
}

// Writes bytes into a FIFO in 10 ms pieces at bytesPerSecond, from its own "pipe-feeder" thread, until the
// bytes run out or Stop. A server that goes away ends the writing quietly.
class PipeFeeder {
public:
    PipeFeeder(std::string fifo, std::vector<uint8_t> bytes, int bytesPerSecond)
        : fifo_(std::move(fifo)),
          bytes_(std::move(bytes)),
          // 10 ms of whole frames (4 bytes for 16-bit stereo, 8 for float stereo).
          piece_(static_cast<size_t>(bytesPerSecond) / 100) {}
    ~PipeFeeder() { Stop(); }
    PipeFeeder(const PipeFeeder&) = delete;
    PipeFeeder& operator=(const PipeFeeder&) = delete;

    void Start() { thread_ = std::thread(&PipeFeeder::Run, this); }
    void Stop() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    // Media-clock time (100-ns units) at which the byte at offset was written; 0 when not yet.
    uint64_t WrittenAt(size_t offset) const {
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& w : writes_) {
            if (offset >= w.first && offset < w.first + piece_) return w.second;
        }
        return 0;
    }
    size_t PieceBytes() const { return piece_; }

private:
    void Run() {
        SetCurrentThreadName("pipe-feeder");
        // A write into a FIFO whose reader died raises SIGPIPE; here it only ends the writing.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        const int fd = open(fifo_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return;
        auto next = std::chrono::steady_clock::now();
        for (size_t at = 0; at < bytes_.size(); at += piece_) {
            const size_t n = std::min(piece_, bytes_.size() - at);
            if (write(fd, bytes_.data() + at, n) != static_cast<ssize_t>(n)) break;
            {
                std::lock_guard<std::mutex> guard(lock_);
                writes_.emplace_back(at, static_cast<uint64_t>(GetMediaTime100ns()));
            }
            // The pace of a real device: the next piece is due 10 ms after this one.
            next += std::chrono::milliseconds(10);
            std::unique_lock<std::mutex> guard(lock_);
            if (wake_.wait_until(guard, next, [this] { return stop_; })) break;
        }
        close(fd);
    }

    const std::string fifo_;
    const std::vector<uint8_t> bytes_;
    const size_t piece_;
    std::thread thread_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::vector<std::pair<size_t, uint64_t>> writes_;
};

template <typename T>
std::vector<uint8_t> AsBytes(const std::vector<T>& values) {
    const auto* p = reinterpret_cast<const uint8_t*>(values.data());
    return {p, p + values.size() * sizeof(T)};
}
