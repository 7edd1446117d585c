// PortalLink: the client of the broadcaster's web service, as a shared library with flat C exports.
// The program's web session calls these from its worker threads, normally one call at a time; the library
// serialises its own exchanges with the service. Strings cross this boundary as UTF-8 (`char*`).
//
// Ownership:
// - SP_GetActivityList, SP_Prepare and SP_Prepare2 return pointers into the library's one service context.
//   The library owns what they point to; they stay valid until the next call of the same export (the live
//   info is shared by SP_Prepare and SP_Prepare2) or until the library is unloaded. The pointer itself never
//   changes between calls: a second SP_GetActivityList replaces the content of the same list object.
// - SP_GetServerVersion, SP_GetErrorMsg and SP_GetPortrait return a newly allocated string per call. Release
//   it with SP_FreeString, never with the caller's own free/delete: the library and the program need not
//   share an allocator. SP_FreeString accepts null and the library's static empty string, so every string
//   these exports return may be passed to it.
#pragma once

#include <stdint.h>

#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(PORTALLINK_BUILDING)
#define PORTALLINK_API __attribute__((visibility("default")))
#else
#define PORTALLINK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// One live activity of the logged-on account.
typedef struct ActivityRecord {
    int32_t id;         // sent back as "activityId"
    bool cloudRecord;   // the activity asks for recording on the service side
    const char* title;  // display title, UTF-8, never null
} ActivityRecord;

// The activities of the last SP_GetActivityList, in the order the service listed them.
typedef struct ActivityList {
    int32_t count;
    const ActivityRecord* const* items;  // count pointers; null when count is 0
} ActivityList;

// The result of the last SP_Prepare or SP_Prepare2. Fields that a call does not write keep their values
// (canRecord, storageUsed and rtmpURL are written by SP_Prepare2 only; isRtmp, once 1, stays 1).
typedef struct LiveInfo {
    int32_t isRtmp;       // 1 when the service named the protocol "rtmp"
    const char* server;   // ingest host, never null
    int32_t port;         // ingest port
    int32_t tube;         // stream number on the ingest server
    int32_t liveId;       // -1 when the service named none
    bool canRecord;       // recording is allowed for this live
    int64_t storageUsed;  // storage already used by the account
    const char* title;    // never null
    const char* rtmpURL;  // the complete publishing URL, never null
} LiveInfo;

// Status of one service call (SP_StartLive, SP_StartLive2, SP_StopLive, SP_RedexSetLiveInfo): 0 success,
// negative failure by the stage that failed. 1 means the library is not ready (no service context).
enum {
    SP_STATUS_OK = 0,
    SP_STATUS_INIT_FAILED = -1,
    SP_STATUS_GENERATE_FAILED = -2,
    SP_STATUS_SEND_FAILED = -3,   // no usable target, connection refused, time-out, answer not HTTP
    SP_STATUS_SERVER_ERROR = -4,  // an HTTP status other than 200, 202 and 500
    SP_STATUS_SOAP_FAULT = -5,    // HTTP 500 (the service's fault)
    SP_STATUS_READ_FAILED = -6,   // the answer body could not be read (truncated, too large)
    SP_STATUS_PARSE_FAILED = -7,  // the answer is not the expected SOAP response
    SP_STATUS_INVALID_POINTER = -8
};

// Logon codes returned by SP_Logon besides the service's own (0, -1, -2, -9 and any other value).
enum { SP_LOGON_NOT_READY = -9, SP_LOGON_CALL_FAILED = -10, SP_LOGON_BAD_ANSWER = -11 };

// Sets the service address (for example "http://host:8080/portal"); nothing is contacted.
PORTALLINK_API void SP_InitWebService(const char* serverAddress);

// password is the lower-case hexadecimal MD5 digest of the typed password. maxStorage and duration are
// written on success only, and only when both pointers are given.
PORTALLINK_API int32_t SP_Logon(const char* userId, const char* password, int64_t* maxStorage, int32_t* duration);

// The service's version text, upper-cased; empty on any failure.
PORTALLINK_API char* SP_GetServerVersion(void);

// Null on failure (the reason is in SP_GetErrorMsg).
PORTALLINK_API const ActivityList* SP_GetActivityList(const char* userId);

// Null on failure (the reason is in SP_GetErrorMsg).
PORTALLINK_API const LiveInfo* SP_Prepare(int32_t activityId);
// Only the low byte of recordingWanted counts.
PORTALLINK_API const LiveInfo* SP_Prepare2(int32_t activityId, const char* userId, int32_t recordingWanted);

PORTALLINK_API int32_t SP_StartLive(int32_t activityId);
PORTALLINK_API int32_t SP_StartLive2(int32_t activityId, int32_t recordingWanted);
PORTALLINK_API int32_t SP_StopLive(int32_t activityId);
PORTALLINK_API int32_t SP_RedexSetLiveInfo(int32_t activityId, const char* title, const char* author, const char* desc);

// The library's last message (an error or success text of the last call that set one).
PORTALLINK_API char* SP_GetErrorMsg(void);
// The portrait picture address of the logged-on account; empty until a logon names one.
PORTALLINK_API char* SP_GetPortrait(void);

// Releases a string returned by SP_GetServerVersion, SP_GetErrorMsg or SP_GetPortrait.
PORTALLINK_API void SP_FreeString(char* text);

// The library's own binding step, exported for diagnosis: nonzero when the current service address gives a
// usable target. Takes the exchange lock and leaves no proxy behind.
PORTALLINK_API int32_t InitWebService(void);

#ifdef __cplusplus
}
#endif
