#include "tools/peers/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool CXvfbServer::Start(int width, int height) {
    Stop();
    int fds[2];
    if (pipe(fds) != 0) return false;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fdArg = std::to_string(fds[1]);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        const int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, STDOUT_FILENO);
            dup2(devnull, STDERR_FILENO);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", fdArg.c_str(), "-screen", "0", screen.c_str(), "-noreset", "-nolisten",
               "tcp", "+extension", "RANDR", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    pid_ = pid;
    // The server writes its display number followed by a newline once it is ready.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (number.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[32];
        const ssize_t n = read(fds[0], buf, sizeof(buf));
        if (n <= 0) break;
        number.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        Stop();
        return false;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    return true;
}

void CXvfbServer::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!WaitForProcessExit(pid_, std::chrono::seconds(5))) {
        kill(pid_, SIGKILL);
        WaitForProcessExit(pid_, std::chrono::seconds(5));
    }
    pid_ = -1;
    display_.clear();
}

int RunWithDisplay(const std::string& display, const std::string& command) {
    const std::string line = "export DISPLAY=" + display + "; " + command;
    const int status = std::system(line.c_str());
    if (status < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool WaitForProcessExit(pid_t pid, std::chrono::milliseconds timeout) {
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(timeout.count()));
        close(pidfd);
        if (ready <= 0) return false;
    }
    int status = 0;
    return waitpid(pid, &status, pidfd >= 0 ? 0 : WNOHANG) == pid;
}
