// A record stream on one source of the sound server: a microphone, or the monitor of an output for
// the system sound. It takes the roles of the capture client: the owner polls it with Read, which
// hands over everything the server has sent since the last pass, piece by piece as libpulse holds
// it. Read runs on the owner's thread under the connection's lock; the stream keeps no data of its own.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/pulse/pulse_connection.h"
#include "platform/pulse/pulse_endpoints.h"

// Receives one Read pass.
class IPulseCaptureSink {
public:
    virtual ~IPulseCaptureSink() = default;
    // Called once before the pieces: the bytes waiting, and how long ago the first of them was
    // captured in microseconds (-1 while the server has not told yet).
    virtual void BeginPacket(size_t bytes, int64_t ageUs) = 0;
    // One piece; data is null for a hole in the stream (that many bytes of nothing). Valid only
    // during the call.
    virtual void AddPiece(const uint8_t* data, size_t bytes) = 0;
};

class CPulseCapture {
public:
    // Connects a paused record stream over the connection to the endpoint (see
    // ResolvePulseCaptureTarget), in the source's own layout where the capture path converts it,
    // asking the server to send about one fragment at a time so that capture latency stays near a
    // fragment. Null on failure (logged).
    static std::unique_ptr<CPulseCapture> Open(std::shared_ptr<CPulseConnection> connection, bool microphone,
                                               const std::string& id, std::chrono::microseconds fragment);
    ~CPulseCapture();
    CPulseCapture(const CPulseCapture&) = delete;
    CPulseCapture& operator=(const CPulseCapture&) = delete;

    const PulseCaptureTarget& Target() const { return target_; }
    // The layout of the bytes Read hands over.
    const PcmSpec& Spec() const { return spec_; }

    bool Start();
    void Stop();
    // Hands everything waiting to sink. Returns the bytes handed over, or -1 when the stream or the
    // server is gone (for good: a lost stream is not reconnected).
    int64_t Read(IPulseCaptureSink* sink);

private:
    CPulseCapture() = default;
    int64_t AgeOfFirstWaitingByte(size_t waiting, int64_t now);

    std::shared_ptr<CPulseConnection> connection_;
    pa_stream* stream_ = nullptr;
    PulseCaptureTarget target_;
    PcmSpec spec_;
    int64_t bytesPerSecond_ = 0;

    // Bytes handed over so far, holes included: the stream index of the first waiting byte.
    int64_t readIndex_ = 0;
    // When stream index 0 was captured (media clock, 100-ns units), as each pass that found data
    // saw it over the last second; the earliest is the one least delayed on its way.
    struct Sighting {
        int64_t at;
        int64_t origin;
    };
    std::deque<Sighting> sightings_;
    // The origin in use: it follows the earliest sighting, but backwards only by small steps.
    int64_t origin_ = 0;
    bool originKnown_ = false;
};
