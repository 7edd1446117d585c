// What kind of server the configured `ServerURL` names, and the pieces of an rtsp/rtmp/http stream
// address. Shared by the web session (set server) and the headless live; pure functions, callable from
// any thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

struct DeploymentValues;

enum ServerKind : int32_t {
    kServerPortal = 0,      // the operator's portal: logon, activity list, portal prepare/start/stop
    kServerStream = 1,      // another http or rtsp address: logon, stream-server prepare/start/stop
    kServerDirectRtmp = 2,  // an rtmp address, published to as it stands
    kServerNone = 3,        // empty, unusable, or offline
};

// The operator's two portal addresses. An address that begins with one of them (case-sensitively) is a
// portal address.
inline constexpr std::string_view kPortalAddressHttp = "http://portal.brevacast.example/";
inline constexpr std::string_view kPortalAddressHttps = "https://portal.brevacast.example/";

// Longer addresses are refused outright; no real server address comes near it.
inline constexpr size_t kMaxServerAddressLength = 2048;

struct StreamAddress {
    bool ok = false;
    // Why the address was refused; empty when ok. A refused address leaves every other field at its default.
    std::string error;
    // The scheme as written for rtsp and rtmp ("RTMP" stays "RTMP"), "http" for any spelling of http.
    std::string protocol = "rtsp";
    std::string host;  // empty for http, which is not taken apart
    int32_t port = 554;
    int32_t tube = 428;
    // The text after the last "/" of the path, from which the tube number is read; empty when the path
    // has no such part. A name that is not a number leaves the tube at its default.
    std::string streamName;
};

// Takes apart "scheme://host[:port][/path.../name]". Leading and trailing white space is ignored.
StreamAddress ParseStreamAddress(std::string_view address);

struct ServerAddressInfo {
    ServerKind kind = kServerNone;
    // Why a non-empty address was classified as none; empty otherwise.
    std::string error;
    // Set for kServerDirectRtmp only; the other kinds leave them as here.
    int32_t publishToUrl = 0;
    std::string publishUrl;  // the trimmed address
    std::string host;
    int32_t port = 0;
    int32_t tube = 0;
};

ServerAddressInfo ClassifyServerAddress(std::string_view address);
// The same with other portal addresses (a test service, a deployment of the portal elsewhere).
ServerAddressInfo ClassifyServerAddress(std::string_view address, std::initializer_list<std::string_view> portals);
// What the program itself uses: the portal addresses of this deployment. A deployment without portal
// addresses has no portal, so no address is of kind portal.
ServerAddressInfo ClassifyServerAddress(std::string_view address, const DeploymentValues& deployment);
