// A program run as a child process by an end-to-end test: its standard output (and, when asked, its
// standard error) read line by line with deadlines, its exit status, signals to it. The child is killed
// and reaped when the object goes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

class CChildProcess {
public:
    // withErrors: standard error joins standard output (else it is discarded). A program name
    // without a slash is looked up in PATH.
    CChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& env, bool withErrors = false) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            dup2(fds[1], STDOUT_FILENO);
            const int devnull = open("/dev/null", O_WRONLY);
            if (withErrors)
                dup2(fds[1], STDERR_FILENO);
            else if (devnull >= 0)
                dup2(devnull, STDERR_FILENO);
            for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
            std::vector<char*> argv;
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        fd_ = fds[0];
    }
    virtual ~CChildProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }
    // Reads until a line containing text arrives; false on time-out or end of output.
    bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout) {
        return WaitFor([&](const std::string& line) { return line.find(text) != std::string::npos; }, timeout);
    }
    template <typename Match>
    bool WaitFor(Match match, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            size_t nl;
            while ((nl = pending_.find('\n')) != std::string::npos) {
                const std::string line = pending_.substr(0, nl);
                pending_.erase(0, nl + 1);
                output_ += line + "\n";
                if (match(line)) return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            char buf[1024];
            const ssize_t n = read(fd_, buf, sizeof(buf));
            if (n <= 0) return false;
            pending_.append(buf, static_cast<size_t>(n));
        }
    }
    // Waits for the exit; the exit status, or -1.
    int Wait(std::chrono::milliseconds timeout) {
        WaitForLine("\x01never", timeout);  // drain the output until it closes
        int status = 0;
        if (waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& Output() const { return output_; }
    pid_t Pid() const { return pid_; }
    // Sends a signal to the running child.
    void Signal(int signal) {
        if (pid_ > 0) kill(pid_, signal);
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string pending_, output_;
};

// Runs a shell command and returns what it wrote on standard output.
inline std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}
