// The program's side of the broadcaster's web service: what kind of server the configured address names,
// the logon, the account's activities, the portrait, and preparing, starting and stopping a live on the
// service. All PortalLink calls of the program go through here.
//
// One per program run, owned by the start-up on the main thread. Logon and the activity list run on one
// owned worker thread at a time ("logon", "activities") that posts WM_LOGON_RESULT or WM_ACTIVITY_LIST to
// the target it was given; the receiver calls JoinWorker() before it reads anything here. A window that
// goes away while a worker runs calls ForgetTarget() first, so the answer never reaches it. Every other
// call is made on the main thread; those that change the session join a running worker first.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/deployment_values.h"
#include "app/server_address.h"
#include "portallink/portallink.h"

class IWindowTarget;

// The largest portrait accepted from the service.
inline constexpr uint64_t kPortraitMaxBytes = 10ull << 20;

// Where the account's portrait is kept: $XDG_CACHE_HOME/brevacast/portrait.png, by default
// ~/.cache/brevacast/portrait.png. The placeholder in the skin folder is never written.
std::string DefaultPortraitCachePath();

class CWebSession {
public:
    // The portal addresses and the registration host come from deployment.
    explicit CWebSession(DeploymentValues deployment);
    ~CWebSession();
    CWebSession(const CWebSession&) = delete;
    CWebSession& operator=(const CWebSession&) = delete;

    // The picture shown while the account has no portrait of its own (the skin's placeholder).
    void SetPortraitPlaceholder(std::string path);

    // Stores and classifies the configured address, forgets what belonged to the previous server (its
    // lives, the logged-on account and its portrait) and points PortalLink at the address (also for kinds
    // that make no service calls).
    void SetServer(std::string_view address);
    // The service's version text, asked once per server and then cached.
    std::string ServerVersion();

    // user and the password digest go to the "logon" worker, which posts WM_LOGON_RESULT (1 success,
    // 0 failure) to notify when done. On success the portrait is downloaded before the post.
    void StartLogon(std::string user, std::string passwordDigest, IWindowTarget* notify);
    // The "activities" worker posts WM_ACTIVITY_LIST: 0 with Activities() fetched, -1 when the server has
    // no activity list or the fetch failed (Message() says why).
    void StartActivityList(std::string userId, IWindowTarget* notify);
    // Waits for the running worker, if any. Never from the worker itself.
    void JoinWorker();
    // The window's thread, before the window that started a worker goes: the worker's answer is dropped
    // instead of being posted to target. Targets of other windows are left alone.
    void ForgetTarget(const IWindowTarget* target);

    // 1 ready, 0 failed (Message() says why; empty when the activity is not in the list any more), -1
    // ready but the service refuses to record an activity that asks for recording (Message() gives the
    // service's explanation).
    int32_t Prepare(int32_t activityId);
    // Tells the service that the live started; StartedOnService() records whether it accepted.
    void StartOnService();
    void StopOnService();

    // Fetches address into file (folder created as needed) through a temporary file; false leaves file
    // as it was. At most kPortraitMaxBytes.
    bool DownloadPortrait(const std::string& address, const std::string& file);

    ServerKind Kind() const { return kind_; }
    const std::string& ServerAddress() const { return serverAddress_; }
    const std::string& Message() const { return message_; }
    const std::string& LoggedOnUser() const { return loggedOnUser_; }
    // Account limits from the last logon answer; -1 when it named none.
    int32_t Duration() const { return duration_; }
    int64_t MaxStorage() const { return maxStorage_; }
    // PortalLink's list, valid until the next activity-list fetch; null before the first one and while
    // a fetch runs (PortalLink rebuilds the list in place) until its answer has been joined.
    const ActivityList* Activities() const { return worker_.joinable() ? nullptr : activities_; }
    // Whether the live engine publishes to PublishUrl(); always 0 without a server.
    int32_t PublishToUrl() const { return kind_ == kServerNone ? 0 : publishToUrl_; }
    const std::string& PublishUrl() const { return publishUrl_; }
    const std::string& Host() const { return host_; }
    int32_t Port() const { return port_; }
    int32_t Tube() const { return tube_; }
    bool CanRecord() const { return canRecord_; }
    bool StartedOnService() const { return startedOnService_; }
    // The live id of the last stream-server prepare, if one succeeded since the server was set.
    std::optional<int32_t> StreamServerLiveId() const;
    // The portrait address of the logged-on account; empty when it has none or its download failed.
    const std::string& PortraitAddress() const { return portraitAddress_; }
    // The picture to show: the downloaded portrait after a logon that fetched one, else the placeholder.
    const std::string& PortraitPath() const { return portraitShown_; }
    // Where downloaded portraits are stored.
    const std::string& PortraitFile() const { return portraitFile_; }
    // The operator's registration page; empty when the deployment names no registration host.
    std::string RegistrationPage() const { return RegistrationPageUrl(deployment_); }

private:
    struct StreamServerLive {
        int32_t id = 0;
        std::string title;
        std::string text2, text3;  // kept for the service's record layout; always empty
    };

    void RunLogon(const std::string& user, const std::string& password);
    void RunActivityList(const std::string& userId);
    // The worker's answer, to the target it was started for unless that window has gone.
    void Answer(uint32_t code, uintptr_t wParam);
    // Stores the worker, or posts failure when no thread can be made.
    template <typename Body>
    void StartWorker(const char* name, uint32_t failureCode, uintptr_t failureParam, IWindowTarget* notify, Body body);
    const ActivityRecord* FindActivity(int32_t id) const;

    const DeploymentValues deployment_;
    ServerKind kind_ = kServerNone;
    std::string serverVersion_;
    std::string loggedOnUser_;
    const ActivityList* activities_ = nullptr;
    std::string message_;
    bool startedOnService_ = false;
    // The id rather than PortalLink's record: the record goes away with the next activity-list fetch.
    std::optional<int32_t> currentActivityId_;
    std::unique_ptr<StreamServerLive> streamServerLive_;
    std::string host_;
    int32_t port_ = 0;
    int32_t tube_ = 0;
    bool canRecord_ = false;
    int64_t maxStorage_ = -1;
    int32_t duration_ = -1;
    std::string publishUrl_;
    std::string portraitAddress_;
    std::string portraitFile_;
    std::string portraitPlaceholder_;
    std::string portraitShown_;
    int32_t publishToUrl_ = 0;
    std::thread worker_;
    std::mutex notifyLock_;
    IWindowTarget* notify_ = nullptr;  // under notifyLock_
    std::string serverAddress_;
};
