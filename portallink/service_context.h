// The one service context of the library: what the last calls returned (version, activity list, live info,
// portrait, message) and the lock that keeps two SOAP exchanges from overlapping. The exports forward here;
// the program's web session calls them from its worker threads.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "portallink/portallink.h"
#include "portallink/service_payloads.h"
#include "portallink/soap_envelope.h"
#include "portallink/soap_proxy.h"

class CServiceContext {
public:
    CServiceContext() = default;
    CServiceContext(const CServiceContext&) = delete;
    CServiceContext& operator=(const CServiceContext&) = delete;

    void SetServiceUrl(const char* address);
    // The exported binding check: nonzero when the service URL gives a usable target.
    int32_t CheckBinding();

    int32_t Logon(const char* userId, const char* password, int64_t* maxStorage, int32_t* duration);
    std::string ServerVersion();
    const ActivityList* GetActivityList(const char* userId);
    const LiveInfo* Prepare(int32_t activityId);
    const LiveInfo* Prepare2(int32_t activityId, const char* userId, bool recordingWanted);
    int32_t StartLive(int32_t activityId);
    int32_t StartLive2(int32_t activityId, bool recordingWanted);
    int32_t StopLive(int32_t activityId);
    int32_t SetLiveInfo(int32_t activityId, const char* title, const char* author, const char* desc);

    std::string Message() const;
    std::string Portrait() const;

private:
    struct CallResult {
        int32_t status = kSoapInitFailed;
        std::string result;
    };
    struct OwnedActivity {
        ActivityRecord record{};
        std::string title;
    };

    // One whole exchange under the exchange lock: bind a fresh proxy, invoke, destroy the proxy.
    CallResult Call(const SoapOperation& op, std::vector<std::optional<std::string>> values);
    // Binds a new proxy to the service URL (exchange lock held).
    bool InitWebService();
    const LiveInfo* PrepareCommon(const SoapOperation& op, std::vector<std::optional<std::string>> values,
                                  bool prepare2, bool recordingWanted);
    // These run with the state lock held.
    void ClearActivities();
    void PublishLiveInfo();

    std::mutex exchangeLock_;
    std::unique_ptr<CSoapProxy> proxy_;  // exists only during one exchange

    // Guards everything below. Results are parsed after the exchange lock is released; this lock keeps two
    // concurrent calls from corrupting the list or the strings (a caller still must not read a returned
    // pointer while another call of the same export replaces what it points to).
    mutable std::mutex stateLock_;
    std::string version_;
    std::string serviceUrl_;
    std::string message_;
    std::string portrait_;
    std::vector<std::unique_ptr<OwnedActivity>> activities_;
    std::vector<const ActivityRecord*> activityPointers_;
    ActivityList activityList_{};
    LiveInfoData liveData_;
    LiveInfo liveInfo_{0, "", 0, 0, 0, false, 0, "", ""};
};
