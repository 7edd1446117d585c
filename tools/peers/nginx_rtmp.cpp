#include "tools/peers/nginx_rtmp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tools/peers/xvfb_server.h"

namespace {

bool Exited(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return ok;
}

}  // namespace

int FreeLocalPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

CNginxRtmp::~CNginxRtmp() {
    Stop();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

bool CNginxRtmp::WriteConfig() {
    if (dir_.empty()) {
        char pattern[] = "/tmp/bv-nginx-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return false;
        dir_ = pattern;
    }
    if (port_ == 0) port_ = FreeLocalPort();
    if (port_ == 0) return false;
    std::ofstream config(dir_ + "/nginx.conf");
    config << "load_module " << kModulePath << ";\n"
           << "daemon off;\n"
           << "master_process off;\n"
           << "worker_processes 1;\n"
           << "pid " << dir_ << "/nginx.pid;\n"
           << "error_log " << dir_ << "/error.log info;\n"
           << "events { worker_connections 256; }\n"
           << "rtmp {\n"
           << "  server {\n"
           << "    listen 127.0.0.1:" << port_
           << ";\n"
           // Players that join a running stream get the picture from a key frame on.
           << "    application live { live on; record off; wait_key on; }\n"
           << "  }\n"
           << "}\n";
    return static_cast<bool>(config);
}

bool CNginxRtmp::Start() {
    Stop();
    if (!WriteConfig()) return false;
    const std::string conf = dir_ + "/nginx.conf";
    const std::string log = dir_ + "/error.log";
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, STDIN_FILENO);
            dup2(devnull, STDOUT_FILENO);
            dup2(devnull, STDERR_FILENO);
        }
        execlp("nginx", "nginx", "-p", dir_.c_str(), "-c", conf.c_str(), "-e", log.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        // A test connection is harmless here: the module only takes a client as publisher once it publishes.
        if (Accepts(port_)) return true;
        if (Exited(pid_)) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return false;
}

void CNginxRtmp::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!WaitForProcessExit(pid_, std::chrono::seconds(2))) {
        kill(pid_, SIGKILL);
        WaitForProcessExit(pid_, std::chrono::seconds(5));
    }
    pid_ = -1;
}

std::string CNginxRtmp::Url(const std::string& stream) const {
    return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/" + stream;
}

std::string CNginxRtmp::ErrorLog() const {
    std::ifstream in(dir_ + "/error.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

// The module logs every play and publish command at the info level.
bool WaitForLogLine(const CNginxRtmp& server, const std::string& line, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (server.ErrorLog().find(line) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

bool CNginxRtmp::WaitForPlayer(const std::string& stream, std::chrono::milliseconds timeout) const {
    return WaitForLogLine(*this, "play: name='" + stream + "'", timeout);
}

bool CNginxRtmp::WaitForPublisher(const std::string& stream, std::chrono::milliseconds timeout) const {
    return WaitForLogLine(*this, "publish: name='" + stream + "'", timeout);
}
