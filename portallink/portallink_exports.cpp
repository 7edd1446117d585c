// The exported C functions. Each one checks that the service context exists, forwards to it, and turns
// anything thrown inside (an allocation failure) into the export's failure value: nothing is thrown to the
// caller, which may not even be C++.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "platform/log.h"
#include "portallink/http_connection.h"
#include "portallink/portallink.h"
#include "portallink/service_context.h"

namespace {

CServiceContext* g_context = nullptr;
bool g_httpReady = false;

// Handed out when there is no context or no memory; SP_FreeString knows not to release it.
char g_emptyString[1] = "";

void LogException(const char* where) {
    try {
        throw;
    } catch (const std::exception& e) {
        Log(LogLevel::kWarning, "portallink", "%s: %s", where, e.what());
    } catch (...) {
        Log(LogLevel::kWarning, "portallink", "%s: unknown exception", where);
    }
}

char* CopyOut(const std::string& text) {
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (!copy) return g_emptyString;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

bool LowByte(int32_t value) { return static_cast<uint8_t>(value) != 0; }

// Library load: the context is created once for the process. PORTALLINK_TEST_NO_CONTEXT lets the tests see
// how the exports behave when it could not be created.
__attribute__((constructor)) void LoadPortalLink() {
    if (std::getenv("PORTALLINK_TEST_NO_CONTEXT")) return;
    g_httpReady = HttpGlobalInit();
    if (!g_httpReady) {
        Log(LogLevel::kError, "portallink", "the HTTP client could not be initialised");
        return;
    }
    g_context = new (std::nothrow) CServiceContext();
    if (!g_context) Log(LogLevel::kError, "portallink", "the service context could not be created");
}

__attribute__((destructor)) void UnloadPortalLink() {
    delete g_context;
    g_context = nullptr;
    if (g_httpReady) HttpGlobalCleanup();
    g_httpReady = false;
}

}  // namespace

extern "C" {

PORTALLINK_API void SP_InitWebService(const char* serverAddress) {
    if (!g_context) return;
    try {
        g_context->SetServiceUrl(serverAddress);
    } catch (...) {
        LogException("SP_InitWebService");
    }
}

PORTALLINK_API int32_t SP_Logon(const char* userId, const char* password, int64_t* maxStorage, int32_t* duration) {
    if (!g_context) return SP_LOGON_NOT_READY;
    try {
        return g_context->Logon(userId, password, maxStorage, duration);
    } catch (...) {
        LogException("SP_Logon");
        return SP_LOGON_NOT_READY;
    }
}

PORTALLINK_API char* SP_GetServerVersion(void) {
    if (!g_context) return g_emptyString;
    try {
        return CopyOut(g_context->ServerVersion());
    } catch (...) {
        LogException("SP_GetServerVersion");
        return g_emptyString;
    }
}

PORTALLINK_API const ActivityList* SP_GetActivityList(const char* userId) {
    if (!g_context) return nullptr;
    try {
        return g_context->GetActivityList(userId);
    } catch (...) {
        LogException("SP_GetActivityList");
        return nullptr;
    }
}

PORTALLINK_API const LiveInfo* SP_Prepare(int32_t activityId) {
    if (!g_context) return nullptr;
    try {
        return g_context->Prepare(activityId);
    } catch (...) {
        LogException("SP_Prepare");
        return nullptr;
    }
}

PORTALLINK_API const LiveInfo* SP_Prepare2(int32_t activityId, const char* userId, int32_t recordingWanted) {
    if (!g_context) return nullptr;
    try {
        return g_context->Prepare2(activityId, userId, LowByte(recordingWanted));
    } catch (...) {
        LogException("SP_Prepare2");
        return nullptr;
    }
}

PORTALLINK_API int32_t SP_StartLive(int32_t activityId) {
    if (!g_context) return 1;
    try {
        return g_context->StartLive(activityId);
    } catch (...) {
        LogException("SP_StartLive");
        return SP_STATUS_INIT_FAILED;
    }
}

PORTALLINK_API int32_t SP_StartLive2(int32_t activityId, int32_t recordingWanted) {
    if (!g_context) return 1;
    try {
        return g_context->StartLive2(activityId, LowByte(recordingWanted));
    } catch (...) {
        LogException("SP_StartLive2");
        return SP_STATUS_INIT_FAILED;
    }
}

PORTALLINK_API int32_t SP_StopLive(int32_t activityId) {
    if (!g_context) return 1;
    try {
        return g_context->StopLive(activityId);
    } catch (...) {
        LogException("SP_StopLive");
        return SP_STATUS_INIT_FAILED;
    }
}

PORTALLINK_API int32_t SP_RedexSetLiveInfo(int32_t activityId, const char* title, const char* author,
                                           const char* desc) {
    if (!g_context) return 1;
    try {
        return g_context->SetLiveInfo(activityId, title, author, desc);
    } catch (...) {
        LogException("SP_RedexSetLiveInfo");
        return SP_STATUS_INIT_FAILED;
    }
}

PORTALLINK_API char* SP_GetErrorMsg(void) {
    if (!g_context) return g_emptyString;
    try {
        return CopyOut(g_context->Message());
    } catch (...) {
        LogException("SP_GetErrorMsg");
        return g_emptyString;
    }
}

PORTALLINK_API char* SP_GetPortrait(void) {
    if (!g_context) return g_emptyString;
    try {
        return CopyOut(g_context->Portrait());
    } catch (...) {
        LogException("SP_GetPortrait");
        return g_emptyString;
    }
}

PORTALLINK_API void SP_FreeString(char* text) {
    if (text && text != g_emptyString) std::free(text);
}

PORTALLINK_API int32_t InitWebService(void) {
    if (!g_context) return 0;
    try {
        return g_context->CheckBinding();
    } catch (...) {
        LogException("InitWebService");
        return 0;
    }
}

}  // extern "C"

static_assert(SP_LOGON_CALL_FAILED == kLogonCallFailedCode && SP_LOGON_BAD_ANSWER == kLogonBadAnswerCode,
              "the public logon codes are the payload reader's");
