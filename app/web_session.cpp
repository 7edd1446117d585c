#include "app/web_session.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/http_fetch.h"
#include "app/language_table.h"
#include "app/text_trim.h"
#include "platform/log.h"
#include "platform/thread_util.h"
#include "platform/window_messages.h"
#include "platform/window_target.h"

namespace {

constexpr const char* kModule = "web";

// Copies a string PortalLink handed out and gives it back to the library.
std::string TakeString(char* text) {
    std::string copy = text != nullptr ? text : "";
    SP_FreeString(text);
    return copy;
}

// The language-table text for a logon code, or -1 for codes that leave the message as it was.
int LogonCodeText(int32_t code) {
    switch (code) {
        case 0:
            return kTextLoginSuccessful;
        case -1:
            return kTextLoginNoAccount;
        case -2:
            return kTextLoginWrongPassword;
        case -9:
            return kTextLoginException;
        case -10:
            return kTextLoginServerUnreachable;
        case -11:
            return kTextLoginParseFailed;
        default:
            return -1;
    }
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
    return "/tmp";
}

}  // namespace

std::string DefaultPortraitCachePath() {
    // A relative XDG_CACHE_HOME is invalid and ignored, as the base-directory rules require.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const std::string base = cache != nullptr && *cache == '/' ? std::string(cache) : HomeDirectory() + "/.cache";
    return base + "/brevacast/portrait.png";
}

CWebSession::CWebSession(DeploymentValues deployment)
    : deployment_(std::move(deployment)), portraitFile_(DefaultPortraitCachePath()) {}

CWebSession::~CWebSession() { JoinWorker(); }

void CWebSession::SetPortraitPlaceholder(std::string path) {
    JoinWorker();
    // A portrait already fetched stays on show.
    if (portraitShown_ == portraitPlaceholder_) portraitShown_ = path;
    portraitPlaceholder_ = std::move(path);
}

void CWebSession::JoinWorker() { JoinThread(worker_); }

void CWebSession::ForgetTarget(const IWindowTarget* target) {
    std::lock_guard<std::mutex> guard(notifyLock_);
    if (notify_ == target) notify_ = nullptr;
}

void CWebSession::Answer(uint32_t code, uintptr_t wParam) {
    // Posting never waits, so the window's thread is never held by the lock for long.
    std::lock_guard<std::mutex> guard(notifyLock_);
    PostWindowMessage(notify_, code, wParam, 0);
}

void CWebSession::SetServer(std::string_view address) {
    JoinWorker();
    serverAddress_ = std::string(address);
    const ServerAddressInfo info = ClassifyServerAddress(address, deployment_);
    if (!info.error.empty()) Log(LogLevel::kInfo, kModule, "server address not usable: %s", info.error.c_str());
    kind_ = info.kind;
    maxStorage_ = -1;
    duration_ = -1;
    // Nothing of the previous server's lives may leak into the next live: a stale publish URL would
    // send the picture to the wrong server.
    publishToUrl_ = info.publishToUrl;
    publishUrl_ = info.publishUrl;
    host_ = info.host;
    port_ = info.port;
    tube_ = info.tube;
    canRecord_ = false;
    // A logon holds for the server it was made with (offline use forgets the account).
    loggedOnUser_.clear();
    portraitAddress_.clear();
    portraitShown_ = portraitPlaceholder_;
    currentActivityId_.reset();
    activities_ = nullptr;
    streamServerLive_.reset();
    serverVersion_.clear();
    SP_InitWebService(std::string(TrimBlanks(address)).c_str());
}

std::string CWebSession::ServerVersion() {
    if (serverVersion_.empty()) serverVersion_ = TakeString(SP_GetServerVersion());
    return serverVersion_;
}

template <typename Body>
void CWebSession::StartWorker(const char* name, uint32_t failureCode, uintptr_t failureParam, IWindowTarget* notify,
                              Body body) {
    JoinWorker();
    {
        std::lock_guard<std::mutex> guard(notifyLock_);
        notify_ = notify;
    }
    try {
        worker_ = StartNamedThread(name, ThreadPriority::kNormal, std::move(body));
    } catch (const std::system_error& e) {
        // The receiver waits for an answer either way.
        Log(LogLevel::kError, kModule, "cannot start the %s thread: %s", name, e.what());
        message_ = GetText(kTextLoginException);
        PostWindowMessage(notify, failureCode, failureParam, 0);
    }
}

void CWebSession::StartLogon(std::string user, std::string passwordDigest, IWindowTarget* notify) {
    StartWorker("logon", WM_LOGON_RESULT, 0, notify,
                [this, user = std::move(user), password = std::move(passwordDigest)] { RunLogon(user, password); });
}

void CWebSession::StartActivityList(std::string userId, IWindowTarget* notify) {
    StartWorker("activities", WM_ACTIVITY_LIST, static_cast<uintptr_t>(-1), notify,
                [this, userId = std::move(userId)] { RunActivityList(userId); });
}

void CWebSession::RunLogon(const std::string& user, const std::string& password) {
    maxStorage_ = -1;
    duration_ = -1;
    const int32_t code = SP_Logon(user.c_str(), password.c_str(), &maxStorage_, &duration_);
    if (const int text = LogonCodeText(code); text >= 0) message_ = GetText(text);
    portraitShown_ = portraitPlaceholder_;
    portraitAddress_.clear();
    if (code == 0) {
        loggedOnUser_ = user;
        portraitAddress_ = TakeString(SP_GetPortrait());
        if (!portraitAddress_.empty()) {
            if (DownloadPortrait(portraitAddress_, portraitFile_)) {
                portraitShown_ = portraitFile_;
            } else {
                portraitAddress_.clear();
            }
        }
    }
    Answer(WM_LOGON_RESULT, code == 0 ? 1 : 0);
}

void CWebSession::RunActivityList(const std::string& userId) {
    ServerVersion();
    if (kind_ != kServerPortal) {
        message_ = GetText(kTextServerKindUnsupported);
        Answer(WM_ACTIVITY_LIST, static_cast<uintptr_t>(-1));
        return;
    }
    activities_ = SP_GetActivityList(userId.c_str());
    if (activities_ == nullptr) {
        // Said rather than left unanswered: the main window asks the user to log on again.
        message_ = TakeString(SP_GetErrorMsg());
        Answer(WM_ACTIVITY_LIST, static_cast<uintptr_t>(-1));
        return;
    }
    Answer(WM_ACTIVITY_LIST, 0);
}

const ActivityRecord* CWebSession::FindActivity(int32_t id) const {
    if (activities_ == nullptr) return nullptr;
    for (int32_t i = 0; i < activities_->count; ++i) {
        const ActivityRecord* record = activities_->items[i];
        if (record != nullptr && record->id == id) return record;
    }
    return nullptr;
}

int32_t CWebSession::Prepare(int32_t activityId) {
    JoinWorker();
    startedOnService_ = false;
    switch (kind_) {
        case kServerPortal: {
            const ActivityRecord* record = FindActivity(activityId);
            if (record == nullptr) {
                // The activity left the list: no reason of the service's to give (the caller asks for
                // another choice); an earlier message, such as the logon's, must not stand as one.
                message_.clear();
                return 0;
            }
            const bool recordingWanted = record->cloudRecord;
            const LiveInfo* info = SP_Prepare2(activityId, loggedOnUser_.c_str(), recordingWanted ? 1 : 0);
            if (info == nullptr) {
                message_ = TakeString(SP_GetErrorMsg());
                return 0;
            }
            publishToUrl_ = info->isRtmp;
            host_ = info->server;
            port_ = info->port;
            tube_ = info->tube;
            canRecord_ = info->canRecord;
            publishUrl_ = info->rtmpURL;
            currentActivityId_ = activityId;
            if (recordingWanted && !canRecord_) {
                message_ = TakeString(SP_GetErrorMsg());
                return -1;
            }
            return 1;
        }
        case kServerStream: {
            const LiveInfo* info = SP_Prepare(activityId);
            if (info == nullptr) {
                // PortalLink's reason, rather than whatever the last message was (the logon's "success").
                message_ = TakeString(SP_GetErrorMsg());
                return 0;
            }
            publishToUrl_ = info->isRtmp;
            host_ = info->server;
            port_ = info->port;
            tube_ = info->tube;
            // A stream server names its ingest by host, port and stream number only (the URL field of the
            // live info belongs to the portal's prepare): without an address built from them the live would
            // publish nowhere.
            publishUrl_ = "rtmp://" + host_ + ":" + std::to_string(port_) + "/live/" + std::to_string(tube_);
            if (!streamServerLive_) streamServerLive_ = std::make_unique<StreamServerLive>();
            streamServerLive_->id = info->liveId;
            streamServerLive_->title = info->title;
            streamServerLive_->text2.clear();
            streamServerLive_->text3.clear();
            return 1;
        }
        case kServerDirectRtmp:
            return 1;
        case kServerNone:
            publishToUrl_ = 0;
            return 1;
    }
    return 0;
}

void CWebSession::StartOnService() {
    JoinWorker();
    switch (kind_) {
        case kServerPortal:
            if (currentActivityId_ && SP_StartLive2(*currentActivityId_, canRecord_ ? 1 : 0) == SP_STATUS_OK) {
                startedOnService_ = true;
            }
            break;
        case kServerStream:
            if (streamServerLive_) SP_StartLive(streamServerLive_->id);
            startedOnService_ = true;
            break;
        case kServerDirectRtmp:
        case kServerNone:
            startedOnService_ = true;
            break;
    }
}

void CWebSession::StopOnService() {
    JoinWorker();
    if (kind_ == kServerPortal && currentActivityId_) {
        SP_StopLive(*currentActivityId_);
    } else if (kind_ == kServerStream && streamServerLive_) {
        SP_StopLive(streamServerLive_->id);
    }
}

std::optional<int32_t> CWebSession::StreamServerLiveId() const {
    if (!streamServerLive_) return std::nullopt;
    return streamServerLive_->id;
}

bool CWebSession::DownloadPortrait(const std::string& address, const std::string& file) {
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    std::error_code error;
    if (!folder.empty()) std::filesystem::create_directories(folder, error);
    if (error) {
        Log(LogLevel::kWarning, kModule, "cannot create %s: %s", folder.c_str(), error.message().c_str());
        return false;
    }
    HttpFetchOptions options;
    options.maxBodyBytes = kPortraitMaxBytes;
    const HttpFetchResult result = HttpGetToFile(address, options, file);
    if (!result.ok()) {
        Log(LogLevel::kInfo, kModule, "portrait not downloaded: %s", HttpFetchStatusName(result.status));
    }
    return result.ok();
}
