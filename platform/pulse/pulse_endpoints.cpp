#include "platform/pulse/pulse_endpoints.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::chrono::milliseconds kListTimeout{3000};

PcmSpec SpecFromServer(const pa_sample_spec& spec) {
    PcmSpec pcm;
    pcm.rate = static_cast<int32_t>(spec.rate);
    pcm.channels = spec.channels;
    switch (spec.format) {
        case PA_SAMPLE_U8:
            pcm.format = PcmFormat::kU8;
            break;
        case PA_SAMPLE_S16NE:
            pcm.format = PcmFormat::kS16;
            break;
        case PA_SAMPLE_S32NE:
            pcm.format = PcmFormat::kS32;
            break;
        default:  // float itself, 24-bit, other-endian and companded layouts: the server converts to float
            pcm.format = PcmFormat::kFloat32;
            break;
    }
    return pcm;
}

std::string Text(const char* s) { return s != nullptr ? std::string(s) : std::string(); }

void OnSource(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    if (eol != 0 || info == nullptr) return;
    PulseSource source;
    source.name = Text(info->name);
    source.description = Text(info->description);
    source.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
    source.spec = SpecFromServer(info->sample_spec);
    static_cast<std::vector<PulseSource>*>(userdata)->push_back(std::move(source));
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    if (eol != 0 || info == nullptr) return;
    PulseSink sink;
    sink.name = Text(info->name);
    sink.description = Text(info->description);
    sink.monitorSource = Text(info->monitor_source_name);
    static_cast<std::vector<PulseSink>*>(userdata)->push_back(std::move(sink));
}

struct ServerDefaults {
    std::string source;
    std::string sink;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    if (info == nullptr) return;
    auto* defaults = static_cast<ServerDefaults*>(userdata);
    defaults->source = Text(info->default_source_name);
    defaults->sink = Text(info->default_sink_name);
}

bool QueryDefaults(CPulseConnection& connection, ServerDefaults* defaults, PulseDeadline deadline) {
    return connection.Finish(pa_context_get_server_info(connection.Context(), &OnServerInfo, defaults), deadline);
}

const PulseSource* FindSource(const std::vector<PulseSource>& sources, const std::string& name) {
    auto it = std::find_if(sources.begin(), sources.end(), [&](const PulseSource& s) { return s.name == name; });
    return it != sources.end() ? &*it : nullptr;
}

}  // namespace

int32_t PcmSpec::BlockBytes() const {
    int32_t bytes = 4;
    switch (format) {
        case PcmFormat::kU8:
            bytes = 1;
            break;
        case PcmFormat::kS16:
            bytes = 2;
            break;
        case PcmFormat::kS32:
        case PcmFormat::kFloat32:
            bytes = 4;
            break;
    }
    return bytes * channels;
}

bool ListPulseSources(CPulseConnection& connection, std::vector<PulseSource>* sources, PulseDeadline deadline) {
    sources->clear();
    CPulseLock lock(connection);
    return connection.Finish(pa_context_get_source_info_list(connection.Context(), &OnSource, sources), deadline);
}

bool ListPulseSinks(CPulseConnection& connection, std::vector<PulseSink>* sinks, PulseDeadline deadline) {
    sinks->clear();
    CPulseLock lock(connection);
    return connection.Finish(pa_context_get_sink_info_list(connection.Context(), &OnSink, sinks), deadline);
}

bool ListMicrophones(CPulseConnection& connection, std::vector<PulseSource>* microphones) {
    microphones->clear();
    std::vector<PulseSource> sources;
    if (!ListPulseSources(connection, &sources, PulseDeadlineIn(kListTimeout))) return false;
    for (auto& source : sources) {
        if (!source.isMonitor) microphones->push_back(std::move(source));
    }
    return true;
}

bool ListSpeakers(CPulseConnection& connection, std::vector<PulseSink>* speakers) {
    return ListPulseSinks(connection, speakers, PulseDeadlineIn(kListTimeout));
}

bool ResolvePulseCaptureTarget(CPulseConnection& connection, bool microphone, const std::string& id,
                               PulseCaptureTarget* target, PulseDeadline deadline) {
    std::vector<PulseSource> sources;
    if (!ListPulseSources(connection, &sources, deadline)) return false;
    ServerDefaults defaults;
    if (id.empty()) {
        CPulseLock lock(connection);
        if (!QueryDefaults(connection, &defaults, deadline)) return false;
    }

    if (microphone) {
        const PulseSource* source = FindSource(sources, id.empty() ? defaults.source : id);
        if (id.empty() && (source == nullptr || source->isMonitor)) {
            // A default that records what an output plays is no microphone.
            auto real = std::find_if(sources.begin(), sources.end(), [](const PulseSource& s) { return !s.isMonitor; });
            source = real != sources.end() ? &*real : nullptr;
        }
        if (source == nullptr) return false;
        target->source = *source;
        target->endpointId = source->name;
        target->endpointName = source->description;
        return true;
    }

    std::vector<PulseSink> sinks;
    if (!ListPulseSinks(connection, &sinks, deadline)) return false;
    const std::string& sinkName = id.empty() ? defaults.sink : id;
    auto sink = std::find_if(sinks.begin(), sinks.end(), [&](const PulseSink& s) { return s.name == sinkName; });
    if (sink == sinks.end()) return false;
    const PulseSource* monitor = FindSource(sources, sink->monitorSource);
    if (monitor == nullptr) return false;
    target->source = *monitor;
    target->endpointId = sink->name;
    target->endpointName = sink->description;
    return true;
}
