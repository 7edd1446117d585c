// Starts the fake broadcaster service (fake_portal.py) for tests and benchmarks, talks to it through its
// command channel (misbehaviour per test, raw requests it received) and stops it by its process id. The
// service reports its port once it accepts connections, so nobody guesses a port or polls a socket.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class CFakePortal {
public:
    CFakePortal() = default;
    ~CFakePortal() { Stop(); }
    CFakePortal(const CFakePortal&) = delete;
    CFakePortal& operator=(const CFakePortal&) = delete;

    // Starts the service on a free port of 127.0.0.1 with the given fixture (empty: the default one).
    // False when it does not report ready within twenty seconds.
    bool Start(const std::string& fixturePath = {});
    // SIGTERM, then SIGKILL, and reaps the process.
    void Stop();

    int Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    // "http://127.0.0.1:PORT/", the address the program would be configured with.
    std::string Address() const;

    // How following answers are delivered: the fields of the mode command as JSON members, for example
    // R"("mode":"chunked","chunk":5)". False when the service refuses the command.
    bool SetMode(const std::string& members);
    // Answers every following request with HTTP 200 and exactly these bytes as the body; length >= 0 announces
    // another Content-Length than the body has.
    bool SetAnswerBody(const std::string& bytes, long length = -1);
    // Answers op with this result string from now on.
    bool SetResult(const std::string& op, const std::string& text);
    // Answers op with a nil result.
    bool SetNilResult(const std::string& op);
    // Back to the fixture's answers for op.
    bool ClearResult(const std::string& op);
    // Every raw request received, oldest first, byte for byte.
    std::vector<std::string> Requests();
    // Requests received, and the most that were being answered at the same time.
    int RequestCount();
    int MaxInflight();
    // StartLive/StopLive state per activity id as the service recorded it ("started", "stopped"), or empty.
    std::string LiveState(const std::string& activityId);
    // A field ("title", "author", "desc") of the last SetLiveInfo for the activity, as the service decoded it.
    std::string LiveInfoText(const std::string& activityId, const std::string& field);
    // How the version service answers from now on: the members of the version command as JSON, for example
    // R"("version":"1.2.3")" or R"("status":404)"; empty: the fixture's version, answered at once.
    bool SetVersionAnswer(const std::string& members);
    bool Reset();

private:
    // One command object (JSON text) and its one-line reply; empty on failure.
    std::string Command(const std::string& json);
    bool ReadLine(std::string& line, int timeoutMs);

    pid_t pid_ = -1;
    int channel_ = -1;  // the service's standard input and output
    int port_ = 0;
    std::string pending_;
};

// The default fixture's accounts.
namespace fake_portal {
inline constexpr const char* kAnchorUser = "anchor01";
inline constexpr const char* kAnchorPasswordDigest = "5ebe2294ecd0e0f08eab7690d2a6ee69";  // "secret"
inline constexpr const char* kGuestUser = "guest";
inline constexpr const char* kGuestPasswordDigest = "0fb9cbecb7b8881511c69c39db643e8c";  // "guestpass"
// Its portrait is served by the fake itself; it may not record, and activity 301 asks for recording.
inline constexpr const char* kPresenterUser = "presenter";
inline constexpr const char* kPresenterPasswordDigest = "edf52cdd7ae7789ed8dfea495d939292";  // "onair"
}  // namespace fake_portal
