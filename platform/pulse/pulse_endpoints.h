// The sound server's endpoints: sources (microphones and the monitors of outputs) and sinks
// (outputs, whose monitor sources carry the system sound). Listing and resolving run on the
// caller's thread against a connection and return what the server said before the deadline.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/pulse/pulse_connection.h"

// The sample layouts the capture path converts itself; any other layout is handed out by the
// server converted to 32-bit float.
enum class PcmFormat { kU8, kS16, kS32, kFloat32 };

struct PcmSpec {
    PcmFormat format = PcmFormat::kS16;
    int32_t rate = 0;
    int32_t channels = 0;

    int32_t BlockBytes() const;
};

struct PulseSource {
    std::string name;         // the server's id
    std::string description;  // the name people see
    bool isMonitor = false;   // the monitor of an output, not a microphone
    PcmSpec spec;
};

struct PulseSink {
    std::string name;
    std::string description;
    std::string monitorSource;  // the source that carries what the sink plays
};

// Every source and every sink in the server's order. False when the server did not answer.
bool ListPulseSources(CPulseConnection& connection, std::vector<PulseSource>* sources, PulseDeadline deadline);
bool ListPulseSinks(CPulseConnection& connection, std::vector<PulseSink>* sinks, PulseDeadline deadline);

// The microphones (sources that are not monitors) or the outputs. False when the server did not answer.
bool ListMicrophones(CPulseConnection& connection, std::vector<PulseSource>* microphones);
bool ListSpeakers(CPulseConnection& connection, std::vector<PulseSink>* speakers);

// What a capture device records from.
struct PulseCaptureTarget {
    PulseSource source;        // the source the record stream connects to
    std::string endpointId;    // the microphone's source name, or the output's sink name
    std::string endpointName;  // its description
};

// Resolves a capture endpoint. A microphone is a source by name; with an empty id the server's
// default source, or the first real source when the default is a monitor. System sound is the
// monitor of a sink by name; with an empty id the monitor of the server's default sink.
bool ResolvePulseCaptureTarget(CPulseConnection& connection, bool microphone, const std::string& id,
                               PulseCaptureTarget* target, PulseDeadline deadline);
