#include "tools/fake_portal/fake_portal_server.h"

#include <fcntl.h>
#include <json/json.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kCommandTimeoutMs = 10000;

bool WaitForExit(pid_t pid, std::chrono::milliseconds timeout) {
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

std::string ToJson(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

bool ParseJson(const std::string& text, Json::Value& value) {
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &value, &errors);
}

std::string FromHex(const std::string& hex) {
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

}  // namespace

bool CFakePortal::Start(const std::string& fixturePath) {
    Stop();
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    const std::string fixture = fixturePath.empty() ? std::string(BV_FAKE_PORTAL_FIXTURE) : fixturePath;
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        dup2(fds[1], STDIN_FILENO);
        dup2(fds[1], STDOUT_FILENO);
        setenv("PYTHONUTF8", "1", 1);
        setenv("PYTHONDONTWRITEBYTECODE", "1", 1);
        execl(BV_PYTHON3, BV_PYTHON3, BV_FAKE_PORTAL_SCRIPT, "--fixture", fixture.c_str(), "--port", "0",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    pid_ = pid;
    channel_ = fds[0];
    std::string line;
    if (!ReadLine(line, kStartTimeoutMs) || line.rfind("LISTENING ", 0) != 0) {
        Stop();
        return false;
    }
    port_ = std::atoi(line.c_str() + 10);
    return port_ > 0;
}

void CFakePortal::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!WaitForExit(pid_, std::chrono::seconds(5))) {
            kill(pid_, SIGKILL);
            WaitForExit(pid_, std::chrono::seconds(5));
        }
    }
    pid_ = -1;
    if (channel_ >= 0) close(channel_);
    channel_ = -1;
    port_ = 0;
    pending_.clear();
}

std::string CFakePortal::Address() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

bool CFakePortal::ReadLine(std::string& line, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{channel_, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char buf[4096];
        const ssize_t n = recv(channel_, buf, sizeof(buf), 0);
        if (n <= 0) return false;
        pending_.append(buf, static_cast<size_t>(n));
    }
}

std::string CFakePortal::Command(const std::string& json) {
    if (channel_ < 0) return {};
    const std::string line = json + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = send(channel_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return {};
        sent += static_cast<size_t>(n);
    }
    std::string reply;
    if (!ReadLine(reply, kCommandTimeoutMs)) return {};
    return reply;
}

bool CFakePortal::SetMode(const std::string& members) {
    Json::Value reply;
    return ParseJson(Command("{\"cmd\":\"mode\"," + members + "}"), reply) && reply["ok"].asBool();
}

bool CFakePortal::SetAnswerBody(const std::string& bytes, long length) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += kHex[c >> 4];
        hex += kHex[c & 0x0F];
    }
    std::string members = "\"mode\":\"body\",\"body_hex\":\"" + hex + "\"";
    if (length >= 0) members += ",\"length\":" + std::to_string(length);
    return SetMode(members);
}

bool CFakePortal::SetResult(const std::string& op, const std::string& text) {
    Json::Value cmd;
    cmd["cmd"] = "result";
    cmd["op"] = op;
    cmd["text"] = text;
    Json::Value reply;
    return ParseJson(Command(ToJson(cmd)), reply) && reply["ok"].asBool();
}

bool CFakePortal::SetNilResult(const std::string& op) {
    Json::Value cmd;
    cmd["cmd"] = "result";
    cmd["op"] = op;
    cmd["text"] = Json::Value::null;
    Json::Value reply;
    return ParseJson(Command(ToJson(cmd)), reply) && reply["ok"].asBool();
}

bool CFakePortal::ClearResult(const std::string& op) {
    Json::Value cmd;
    cmd["cmd"] = "result";
    cmd["op"] = op;
    Json::Value reply;
    return ParseJson(Command(ToJson(cmd)), reply) && reply["ok"].asBool();
}

std::vector<std::string> CFakePortal::Requests() {
    std::vector<std::string> out;
    Json::Value reply;
    if (!ParseJson(Command(R"({"cmd":"requests"})"), reply)) return out;
    for (const Json::Value& hex : reply["requests"]) out.push_back(FromHex(hex.asString()));
    return out;
}

int CFakePortal::RequestCount() {
    Json::Value reply;
    if (!ParseJson(Command(R"({"cmd":"stats"})"), reply)) return -1;
    return reply["count"].asInt();
}

int CFakePortal::MaxInflight() {
    Json::Value reply;
    if (!ParseJson(Command(R"({"cmd":"stats"})"), reply)) return -1;
    return reply["max_inflight"].asInt();
}

std::string CFakePortal::LiveState(const std::string& activityId) {
    Json::Value reply;
    if (!ParseJson(Command(R"({"cmd":"lives"})"), reply)) return {};
    return reply["lives"].get(activityId, "").asString();
}

std::string CFakePortal::LiveInfoText(const std::string& activityId, const std::string& field) {
    Json::Value reply;
    if (!ParseJson(Command(R"({"cmd":"lives"})"), reply)) return {};
    return reply["info"][activityId].get(field, "").asString();
}

bool CFakePortal::SetVersionAnswer(const std::string& members) {
    Json::Value reply;
    const std::string command = members.empty() ? R"({"cmd":"version"})" : "{\"cmd\":\"version\"," + members + "}";
    return ParseJson(Command(command), reply) && reply["ok"].asBool();
}

bool CFakePortal::Reset() {
    Json::Value reply;
    return ParseJson(Command(R"({"cmd":"reset"})"), reply) && reply["ok"].asBool();
}
