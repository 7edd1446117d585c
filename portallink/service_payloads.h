// The JSON documents that the service's operations return, read into what the exports hand out. Pure
// functions of the result string: the service context commits their output, the fuzzer drives them directly.
//
// Values of an unexpected type never throw or crash here: where the service's documented conversions give a
// value (a number where text is expected, text where a number is expected) it is used, and anything else
// (an object or array in a scalar field, a number beyond the field's range, a root that is not an object)
// makes the whole answer a bad answer, reported like JSON that does not parse.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace portal_text {
inline constexpr const char* kLogonNoAccount = "登录失败，账号不存在";
inline constexpr const char* kLogonBadPassword = "登录失败，账号和密码不匹配";
inline constexpr const char* kLogonException = "登录失败，发生异常";
inline constexpr const char* kLogonCallFailed = "调用Web Service失败";
inline constexpr const char* kJsonFailed = "Json数据解析失败";
inline constexpr const char* kActivityListCallFailed = "调用web service接口发生异常";
inline constexpr const char* kPrepareCallFailed = "调用服务器Prepare接口异常";
inline constexpr const char* kPrepare2CallFailed = "调用服务器Prepare2接口异常";
inline constexpr const char* kUnknownReason = "未知原因";
inline constexpr const char* kPrepareDone = "Prepare成功";
inline constexpr const char* kPrepare2Done = "Prepare2成功";
}  // namespace portal_text

// The operator's placeholder picture for accounts without a portrait; it is not worth downloading.
inline constexpr const char* kPlaceholderPortrait = "http://www.brevacast.example/images/default_portrait.png";

struct LiveInfoData {
    int32_t isRtmp = 0;
    std::string server;
    int32_t port = 0;
    int32_t tube = 0;
    int32_t liveId = 0;
    bool canRecord = false;
    int64_t storageUsed = 0;
    std::string title;
    std::string rtmpURL;
};

struct ActivityData {
    int32_t id = 0;
    bool cloudRecord = false;
    std::string title;
};

struct LogonOutcome {
    int32_t code = 0;
    std::optional<std::string> message;  // set when the call changes the library's message
    std::optional<int64_t> maxStorage;
    std::optional<int32_t> duration;
    std::optional<std::string> portrait;
    std::string diagnostic;  // why the answer was refused
};

// Codes beyond the service's own: the SOAP call failed, or the answer could not be read.
inline constexpr int32_t kLogonCallFailedCode = -10;
inline constexpr int32_t kLogonBadAnswerCode = -11;

// readLimits: the caller gave both places for maxStorage and duration.
LogonOutcome InterpretLogon(const std::string& result, bool readLimits);

// The version text upper-cased; false (and diagnostic) for a bad answer.
bool InterpretVersion(const std::string& result, std::string& version, std::string& diagnostic);

bool InterpretActivityList(const std::string& result, std::vector<ActivityData>& activities, std::string& diagnostic);

enum class PrepareKind { kSucceeded, kNotSucceeded, kBadAnswer };

struct PrepareOutcome {
    PrepareKind kind = PrepareKind::kBadAnswer;
    std::string message;     // the library's message after the call
    std::string diagnostic;  // why the answer was refused
};

// Updates info only when the service says the prepare succeeded; fields the answer does not carry keep
// their values.
PrepareOutcome InterpretPrepare(const std::string& result, bool prepare2, bool recordingWanted, LiveInfoData& info);
