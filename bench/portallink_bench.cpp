// PortalLink's cost per service call. Every call opens its own connection, sends one envelope and parses one
// SOAP answer and its JSON; the benchmarks measure that against the fake service (the whole round trip, the
// Python service included) and against a canned in-process server (the library's own share: connect,
// escaping, HTTP, XML, JSON, records).
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "portallink/portallink.h"
#include "tools/fake_portal/fake_portal_server.h"

namespace {

// Answers every connection with the same bytes after reading one request. Owned by the benchmark that
// starts it; its thread stops on a flag checked every 10 ms.
class CCannedServer {
public:
    explicit CCannedServer(std::string answer) : answer_(std::move(answer)) {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        listen(listener_, 64);
        socklen_t len = sizeof(addr);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~CCannedServer() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

private:
    void Serve() {
        pthread_setname_np(pthread_self(), "canned-portal");
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            std::string request;
            char buf[65536];
            size_t need = std::string::npos;
            while (need == std::string::npos || request.size() < need) {
                const ssize_t n = recv(client, buf, sizeof(buf), 0);
                if (n <= 0) break;
                request.append(buf, static_cast<size_t>(n));
                const size_t end = request.find("\r\n\r\n");
                if (need == std::string::npos && end != std::string::npos) {
                    const size_t cl = request.find("Content-Length: ");
                    need = end + 4 + (cl != std::string::npos ? std::stoul(request.substr(cl + 16)) : 0);
                }
            }
            send(client, answer_.data(), answer_.size(), MSG_NOSIGNAL);
            close(client);
        }
    }

    std::string answer_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string HttpAnswer(const std::string& op, const std::string& result) {
    std::string escaped;
    for (char c : result) {
        if (c == '&')
            escaped += "&amp;";
        else if (c == '<')
            escaped += "&lt;";
        else
            escaped += c;
    }
    const std::string body =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soapenv:Envelope "
        "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body><ns1:" +
        op + "Response xmlns:ns1=\"urn:portal\"><" + op + "Return>" + escaped + "</" + op + "Return></ns1:" + op +
        "Response></soapenv:Body></soapenv:Envelope>";
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string ActivitiesJson(int count) {
    std::string json = "{\"activities\":[";
    for (int i = 0; i < count; ++i) {
        if (i) json += ',';
        json += "{\"id\":" + std::to_string(1000 + i) + ",\"title\":\"直播 number " + std::to_string(i) +
                " 😀\",\"cloudRecord\":" + std::to_string(i % 2) + "}";
    }
    return json + "]}";
}

void BM_LogonAgainstFakeService(benchmark::State& state) {
    CFakePortal portal;
    if (!portal.Start()) {
        state.SkipWithError("the fake service did not start");
        return;
    }
    SP_InitWebService(portal.Address().c_str());
    for (auto _ : state) {
        int64_t maxStorage = 0;
        int32_t duration = 0;
        if (SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, &maxStorage, &duration) != 0) {
            state.SkipWithError("logon failed");
            break;
        }
    }
}
BENCHMARK(BM_LogonAgainstFakeService)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ActivityListFromCannedServer(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    CCannedServer server(HttpAnswer("ActivityList", ActivitiesJson(count)));
    SP_InitWebService(server.Address().c_str());
    for (auto _ : state) {
        const ActivityList* list = SP_GetActivityList("bench");
        if (!list || list->count != count) {
            state.SkipWithError("unexpected list");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ActivityListFromCannedServer)->Arg(3)->Arg(100)->Arg(5000)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SetLiveInfoEscapingFromCannedServer(benchmark::State& state) {
    // A description of Chinese text with emoji: every character becomes a numeric reference.
    std::string desc;
    while (desc.size() < static_cast<size_t>(state.range(0))) desc += "中文描述😀 A&B <x> ";
    CCannedServer server(HttpAnswer("SetLiveInfo", "{\"code\":0}"));
    SP_InitWebService(server.Address().c_str());
    for (auto _ : state) {
        if (SP_RedexSetLiveInfo(7, "title", "author", desc.c_str()) != 0) {
            state.SkipWithError("call failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(desc.size()));
}
BENCHMARK(BM_SetLiveInfoEscapingFromCannedServer)
    ->Arg(64)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
