#include "portallink/service_context.h"

#include <cstdio>
#include <cstdlib>

#include "platform/log.h"

namespace {

constexpr const char* kEndpointPath = "services/BrevacastPlusService?wsdl";

std::optional<std::string> Param(const char* text) {
    if (!text) return std::nullopt;
    return std::string(text);
}

std::string Decimal(int32_t value) { return std::to_string(value); }

std::string FlagText(bool value) { return value ? "1" : "0"; }

// Tests shorten the socket time-out through the environment instead of waiting ten seconds per case.
int SocketTimeoutOverrideMs() {
    const char* text = std::getenv("PORTALLINK_TEST_TIMEOUT_MS");
    if (!text) return 0;
    const long ms = std::strtol(text, nullptr, 10);
    return ms > 0 && ms < 3600000 ? static_cast<int>(ms) : 0;
}

void LogFailure(const SoapOperation& op, const std::string& detail) {
    Log(LogLevel::kError, "portallink", "%.*s failed: %s", static_cast<int>(op.name.size()), op.name.data(),
        detail.c_str());
}

}  // namespace

void CServiceContext::SetServiceUrl(const char* address) {
    std::string url = address ? address : "";
    if (url.empty() || url.back() != '/') url += '/';
    url += kEndpointPath;
    std::lock_guard lock(stateLock_);
    serviceUrl_ = std::move(url);
}

bool CServiceContext::InitWebService() {
    proxy_ = std::make_unique<CSoapProxy>();
    std::string url;
    {
        std::lock_guard lock(stateLock_);
        url = serviceUrl_;
    }
    return proxy_->SetTargetUrl(url, nullptr);
}

int32_t CServiceContext::CheckBinding() {
    std::lock_guard lock(exchangeLock_);
    const bool bound = InitWebService();
    proxy_.reset();
    return bound ? 1 : 0;
}

CServiceContext::CallResult CServiceContext::Call(const SoapOperation& op,
                                                  std::vector<std::optional<std::string>> values) {
    CallResult call;
    std::string error;
    {
        std::lock_guard lock(exchangeLock_);
        InitWebService();
        proxy_->SetSocketTimeoutMs(SocketTimeoutOverrideMs());
        call.status = proxy_->Invoke(op, values, &call.result);
        if (call.status < 0) error = proxy_->LastError();
        proxy_.reset();
    }
    if (call.status < 0) LogFailure(op, error);
    return call;
}

int32_t CServiceContext::Logon(const char* userId, const char* password, int64_t* maxStorage, int32_t* duration) {
    const CallResult call = Call(soap_ops::kLogon, {Param(userId), Param(password)});
    if (call.status < 0) {
        std::lock_guard lock(stateLock_);
        message_ = portal_text::kLogonCallFailed;
        return kLogonCallFailedCode;
    }
    const bool readLimits = maxStorage && duration;
    LogonOutcome outcome = InterpretLogon(call.result, readLimits);
    if (!outcome.diagnostic.empty()) LogFailure(soap_ops::kLogon, outcome.diagnostic);
    {
        std::lock_guard lock(stateLock_);
        if (outcome.message) message_ = std::move(*outcome.message);
        if (outcome.portrait) portrait_ = std::move(*outcome.portrait);
    }
    if (outcome.code == 0 && readLimits) {
        if (outcome.maxStorage) *maxStorage = *outcome.maxStorage;
        if (outcome.duration) *duration = *outcome.duration;
    }
    return outcome.code;
}

std::string CServiceContext::ServerVersion() {
    {
        std::lock_guard lock(stateLock_);
        version_.clear();
    }
    const CallResult call = Call(soap_ops::kVersion, {});
    if (call.status < 0) return {};
    std::string version;
    std::string diagnostic;
    if (!InterpretVersion(call.result, version, diagnostic)) {
        LogFailure(soap_ops::kVersion, diagnostic);
        return {};
    }
    std::lock_guard lock(stateLock_);
    version_ = version;
    return version;
}

void CServiceContext::ClearActivities() {
    activityList_.count = 0;
    activityList_.items = nullptr;
    activityPointers_.clear();
    activities_.clear();
}

const ActivityList* CServiceContext::GetActivityList(const char* userId) {
    {
        std::lock_guard lock(stateLock_);
        ClearActivities();
    }
    const CallResult call = Call(soap_ops::kActivityList, {Param(userId)});
    if (call.status < 0) {
        std::lock_guard lock(stateLock_);
        message_ = portal_text::kActivityListCallFailed;
        return nullptr;
    }
    std::vector<ActivityData> parsed;
    std::string diagnostic;
    if (!InterpretActivityList(call.result, parsed, diagnostic)) {
        LogFailure(soap_ops::kActivityList, diagnostic);
        std::lock_guard lock(stateLock_);
        message_ = portal_text::kJsonFailed;
        return nullptr;
    }
    std::vector<std::unique_ptr<OwnedActivity>> records;
    records.reserve(parsed.size());
    for (ActivityData& a : parsed) {
        auto owned = std::make_unique<OwnedActivity>();
        owned->title = std::move(a.title);
        owned->record.id = a.id;
        owned->record.cloudRecord = a.cloudRecord;
        owned->record.title = owned->title.c_str();
        records.push_back(std::move(owned));
    }
    std::lock_guard lock(stateLock_);
    ClearActivities();
    activities_ = std::move(records);
    for (const auto& owned : activities_) activityPointers_.push_back(&owned->record);
    activityList_.count = static_cast<int32_t>(activityPointers_.size());
    activityList_.items = activityPointers_.empty() ? nullptr : activityPointers_.data();
    return &activityList_;
}

void CServiceContext::PublishLiveInfo() {
    liveInfo_.isRtmp = liveData_.isRtmp;
    liveInfo_.server = liveData_.server.c_str();
    liveInfo_.port = liveData_.port;
    liveInfo_.tube = liveData_.tube;
    liveInfo_.liveId = liveData_.liveId;
    liveInfo_.canRecord = liveData_.canRecord;
    liveInfo_.storageUsed = liveData_.storageUsed;
    liveInfo_.title = liveData_.title.c_str();
    liveInfo_.rtmpURL = liveData_.rtmpURL.c_str();
}

const LiveInfo* CServiceContext::PrepareCommon(const SoapOperation& op, std::vector<std::optional<std::string>> values,
                                               bool prepare2, bool recordingWanted) {
    const CallResult call = Call(op, std::move(values));
    std::lock_guard lock(stateLock_);
    if (call.status < 0) {
        message_ = prepare2 ? portal_text::kPrepare2CallFailed : portal_text::kPrepareCallFailed;
        return nullptr;
    }
    PrepareOutcome outcome = InterpretPrepare(call.result, prepare2, recordingWanted, liveData_);
    if (outcome.kind == PrepareKind::kBadAnswer) LogFailure(op, outcome.diagnostic);
    message_ = std::move(outcome.message);
    if (outcome.kind != PrepareKind::kSucceeded) return nullptr;
    PublishLiveInfo();
    return &liveInfo_;
}

const LiveInfo* CServiceContext::Prepare(int32_t activityId) {
    return PrepareCommon(soap_ops::kPrepare, {Decimal(activityId)}, false, false);
}

const LiveInfo* CServiceContext::Prepare2(int32_t activityId, const char* userId, bool recordingWanted) {
    return PrepareCommon(soap_ops::kPrepare2, {Decimal(activityId), Param(userId), FlagText(recordingWanted)}, true,
                         recordingWanted);
}

int32_t CServiceContext::StartLive(int32_t activityId) {
    return Call(soap_ops::kStartLive, {Decimal(activityId)}).status;
}

int32_t CServiceContext::StartLive2(int32_t activityId, bool recordingWanted) {
    return Call(soap_ops::kStartLive2, {Decimal(activityId), FlagText(recordingWanted)}).status;
}

int32_t CServiceContext::StopLive(int32_t activityId) {
    return Call(soap_ops::kStopLive, {Decimal(activityId)}).status;
}

int32_t CServiceContext::SetLiveInfo(int32_t activityId, const char* title, const char* author, const char* desc) {
    return Call(soap_ops::kSetLiveInfo, {Decimal(activityId), Param(title), Param(author), Param(desc)}).status;
}

std::string CServiceContext::Message() const {
    std::lock_guard lock(stateLock_);
    return message_;
}

std::string CServiceContext::Portrait() const {
    std::lock_guard lock(stateLock_);
    return portrait_;
}
