#include "tools/peers/pulse_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string FindProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Starts program with args (argv[0] included) and the given environment (null: this process's),
// its output going to logPath (or nowhere). Everything is prepared before the fork: the child only
// redirects and executes.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>* env,
            const std::string& logPath) {
    const pid_t parent = getpid();
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (env != nullptr) {
        for (const auto& e : *env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
    }
    const char* log = logPath.empty() ? "/dev/null" : logPath.c_str();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // A test that dies (a failed assertion under a sanitizer aborts) takes its peers with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(log, O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (in >= 0) dup2(in, STDIN_FILENO);
    if (out >= 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
    }
    if (env != nullptr) {
        execve(program.c_str(), argv.data(), envp.data());
    } else {
        execv(program.c_str(), argv.data());
    }
    _exit(127);
}

bool SocketAccepts(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return ok;
}

std::string ReplaceDir(std::string line, const std::string& dir) {
    for (size_t at = line.find("DIR"); at != std::string::npos; at = line.find("DIR", at + dir.size())) {
        line.replace(at, 3, dir);
    }
    return line;
}

}  // namespace

bool WaitChild(pid_t pid, int timeoutMs, bool kill, int* exitStatus) {
    if (pid <= 0) return true;
    if (kill) ::kill(pid, SIGKILL);
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        const int ready = poll(&p, 1, timeoutMs);
        close(pidfd);
        if (ready <= 0) return false;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    if (exitStatus != nullptr) *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

bool CPulseServer::Start(const std::vector<std::string>& extraLines) {
    Stop();
    char folder[] = "/tmp/bv-pulse-XXXXXX";
    if (mkdtemp(folder) == nullptr) return false;
    dir_ = folder;
    mkdir((dir_ + "/runtime").c_str(), 0700);
    mkdir((dir_ + "/state").c_str(), 0700);
    {
        std::ofstream script(dir_ + "/own.pa");
        script << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << dir_ << "/native\n";
        script << "load-module module-null-sink sink_name=bvnull sink_properties=device.description=BvNull\n";
        for (const auto& line : extraLines) script << ReplaceDir(line, dir_) << "\n";
        std::ofstream client(dir_ + "/client.conf");
        client << "autospawn = no\n";
    }

    const std::string program = FindProgram("pulseaudio");
    if (program.empty()) {
        std::fprintf(stderr, "[peers] pulseaudio is not installed\n");
        return false;
    }
    const char* path = std::getenv("PATH");
    const std::vector<std::string> env = {
        "HOME=" + dir_,
        "XDG_RUNTIME_DIR=" + dir_ + "/runtime",
        "PULSE_RUNTIME_PATH=" + dir_ + "/runtime",
        "PULSE_STATE_PATH=" + dir_ + "/state",
        std::string("PATH=") + (path != nullptr ? path : "/usr/bin:/bin"),
    };
    const std::vector<std::string> args = {"pulseaudio",
                                           "--daemonize=no",
                                           "--system=false",
                                           "-n",
                                           "-F",
                                           dir_ + "/own.pa",
                                           "--exit-idle-time=-1",
                                           "--realtime=no",
                                           "--high-priority=no",
                                           "--log-target=stderr"};
    pid_ = Spawn(program, args, &env, dir_ + "/daemon.log");
    if (pid_ < 0) return false;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const std::string socketPath = dir_ + "/native";
    while (!SocketAccepts(socketPath)) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_ || std::chrono::steady_clock::now() > deadline) {
            pid_ = -1;
            std::ifstream log(dir_ + "/daemon.log");
            std::fprintf(stderr, "[peers] the sound server did not come up:\n%s\n",
                         std::string(std::istreambuf_iterator<char>(log), {}).c_str());
            Stop();
            return false;
        }
        poll(nullptr, 0, 10);  // the socket appears once the daemon has loaded its script
    }
    return true;
}

void CPulseServer::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!WaitChild(pid_, 5000)) WaitChild(pid_, 5000, true);
        pid_ = -1;
    }
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        dir_.clear();
    }
}

void CPulseServer::Kill() {
    if (pid_ <= 0) return;
    WaitChild(pid_, 5000, true);
    pid_ = -1;
}

void CPulseServer::ExportToEnvironment() const {
    setenv("PULSE_SERVER", Address().c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
}

pid_t CPulseServer::Play(const std::string& path, const std::string& sink) const {
    const std::string program = FindProgram("paplay");
    if (program.empty()) return -1;
    return Spawn(program, {"paplay", "-s", Address(), "-d", sink, path}, nullptr, {});
}

int CPulseServer::Pactl(const std::vector<std::string>& args) const {
    const std::string program = FindProgram("pactl");
    if (program.empty()) return -1;
    std::vector<std::string> all = {"pactl", "-s", Address()};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = Spawn(program, all, nullptr, {});
    if (pid < 0) return -1;
    int status = -1;
    if (!WaitChild(pid, 10000, false, &status)) {
        WaitChild(pid, 5000, true);
        return -1;
    }
    return status;
}
