#include "platform/pulse/pulse_capture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/log.h"
#include "platform/media_clock.h"

namespace {

constexpr std::chrono::milliseconds kOpenTimeout{3000};
constexpr int kMaxChannels = 8;
// Sightings of the stream's origin are kept this long (100-ns units), so that the estimate follows
// the drift between the sound card's clock and ours.
constexpr int64_t kSightingWindow = 10000000;
// A sighting this much later than the estimate means the stream stood still meanwhile (a monitor
// whose output went idle sends nothing while time runs on): earlier sightings no longer apply.
// Anything less is taken for data held up on its way (a busy server or machine), which keeps its
// place on the timeline.
constexpr int64_t kStallThreshold = 1000000;
// How far a better sighting may move the estimate back per pass: consecutive chunks must never be
// stamped out of order, or the mixer would lay the later one over the earlier.
constexpr int64_t kMaxStepBack = 10000;

void OnStreamState(pa_stream*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); }

pa_sample_format_t ServerFormat(PcmFormat format) {
    switch (format) {
        case PcmFormat::kU8:
            return PA_SAMPLE_U8;
        case PcmFormat::kS16:
            return PA_SAMPLE_S16NE;
        case PcmFormat::kS32:
            return PA_SAMPLE_S32NE;
        case PcmFormat::kFloat32:
            break;
    }
    return PA_SAMPLE_FLOAT32NE;
}

}  // namespace

std::unique_ptr<CPulseCapture> CPulseCapture::Open(std::shared_ptr<CPulseConnection> server, bool microphone,
                                                   const std::string& id, std::chrono::microseconds fragment) {
    if (!server) return nullptr;
    const PulseDeadline deadline = PulseDeadlineIn(kOpenTimeout);
    std::unique_ptr<CPulseCapture> capture(new CPulseCapture);
    capture->connection_ = std::move(server);
    CPulseConnection& connection = *capture->connection_;
    if (!ResolvePulseCaptureTarget(connection, microphone, id, &capture->target_, deadline)) {
        Log(LogLevel::kWarning, "audio", "no %s \"%s\" on the sound server", microphone ? "microphone" : "output",
            id.empty() ? "default" : id.c_str());
        return nullptr;
    }

    capture->spec_ = capture->target_.source.spec;
    if (capture->spec_.channels > kMaxChannels) capture->spec_.channels = kMaxChannels;
    pa_sample_spec spec{};
    spec.format = ServerFormat(capture->spec_.format);
    spec.rate = static_cast<uint32_t>(capture->spec_.rate);
    spec.channels = static_cast<uint8_t>(capture->spec_.channels);
    pa_channel_map map{};
    // The channel order FFmpeg's default layouts use, so the resampler needs no map of its own.
    if (!pa_sample_spec_valid(&spec) ||
        pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_WAVEEX) == nullptr) {
        Log(LogLevel::kWarning, "audio", "\"%s\" has a sample layout the capture cannot take",
            capture->target_.source.name.c_str());
        return nullptr;
    }

    CPulseLock lock(connection);
    capture->stream_ = pa_stream_new(connection.Context(), "Brevacast capture", &spec, &map);
    if (capture->stream_ == nullptr) {
        Log(LogLevel::kWarning, "audio", "no record stream: %s", pa_strerror(pa_context_errno(connection.Context())));
        return nullptr;
    }
    pa_stream_set_state_callback(capture->stream_, &OnStreamState, connection.Loop());

    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(-1);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(static_cast<pa_usec_t>(fragment.count()), &spec));
    // Without a small fragment size and latency adjustment the server sends its data in blocks of up
    // to two seconds (an idle null sink's monitor does exactly that). No interpolated timing:
    // libpulse's stream clock eases into every change over a second (after the stream starts, or an
    // idle output wakes, it is hundreds of milliseconds off), so capture times come from when the
    // data arrives instead.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_DONT_MOVE);
    capture->bytesPerSecond_ = static_cast<int64_t>(pa_bytes_per_second(&spec));

    const std::string& sourceName = capture->target_.source.name;
    if (pa_stream_connect_record(capture->stream_, sourceName.c_str(), &attr, flags) < 0) {
        Log(LogLevel::kError, "audio", "cannot record from \"%s\": %s", sourceName.c_str(),
            pa_strerror(pa_context_errno(connection.Context())));
        return nullptr;
    }
    pa_stream* stream = capture->stream_;
    const bool ready = connection.WaitUntil(
        [stream] {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        deadline);
    if (!ready || pa_stream_get_state(stream) != PA_STREAM_READY) {
        Log(LogLevel::kWarning, "audio", "recording from \"%s\" did not start: %s", sourceName.c_str(),
            ready ? pa_strerror(pa_context_errno(connection.Context())) : "no answer in time");
        return nullptr;
    }
    return capture;
}

CPulseCapture::~CPulseCapture() {
    if (stream_ != nullptr) {
        CPulseLock lock(*connection_);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
}

bool CPulseCapture::Start() {
    CPulseLock lock(*connection_);
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) return false;
    return connection_->Finish(pa_stream_cork(stream_, 0, nullptr, nullptr), PulseDeadlineIn(kOpenTimeout));
}

void CPulseCapture::Stop() {
    CPulseLock lock(*connection_);
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) return;
    pa_operation* operation = pa_stream_cork(stream_, 1, nullptr, nullptr);
    if (operation != nullptr) pa_operation_unref(operation);
}

int64_t CPulseCapture::Read(IPulseCaptureSink* sink) {
    CPulseLock lock(*connection_);
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) return -1;
    const size_t readable = pa_stream_readable_size(stream_);
    if (readable == static_cast<size_t>(-1)) return -1;
    if (readable == 0) return 0;

    sink->BeginPacket(readable, AgeOfFirstWaitingByte(readable, GetMediaTime100ns()));

    // Nothing new arrives while the lock is held, so this ends when the waiting data is used up.
    int64_t handed = 0;
    for (;;) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0) return -1;
        if (bytes == 0) break;
        sink->AddPiece(static_cast<const uint8_t*>(data), bytes);
        handed += static_cast<int64_t>(bytes);
        readIndex_ += static_cast<int64_t>(bytes);
        if (pa_stream_drop(stream_) < 0) return -1;
    }
    return handed;
}

int64_t CPulseCapture::AgeOfFirstWaitingByte(size_t waiting, int64_t now) {
    // The newest byte has just arrived (the owner polls every millisecond while libpulse receives
    // continuously); it was captured as long ago as the source holds its data, which the server's
    // timing reports tell.
    int64_t sourceLatency = 0;
    const pa_timing_info* info = pa_stream_get_timing_info(stream_);
    if (info != nullptr) sourceLatency = static_cast<int64_t>(info->source_usec) * 10;
    const int64_t newest = readIndex_ + static_cast<int64_t>(waiting);
    const int64_t origin = now - sourceLatency - newest * 10000000 / bytesPerSecond_;

    int64_t best = origin;
    for (const Sighting& s : sightings_) best = std::min(best, s.origin);
    if (origin - best > kStallThreshold) sightings_.clear();
    while (!sightings_.empty() && now - sightings_.front().at > kSightingWindow) sightings_.pop_front();
    sightings_.push_back({now, origin});
    best = origin;
    for (const Sighting& s : sightings_) best = std::min(best, s.origin);
    if (!originKnown_ || best > origin_) {
        origin_ = best;
        originKnown_ = true;
    } else {
        origin_ = std::max(best, origin_ - kMaxStepBack);
    }

    // The first waiting byte is at least as old as the bytes behind it: an estimate still settling
    // never stamps sound in the future.
    const int64_t captured = origin_ + readIndex_ * 10000000 / bytesPerSecond_;
    const int64_t waitingUnits = static_cast<int64_t>(waiting) * 10000000 / bytesPerSecond_;
    return std::max(now - captured, waitingUnits) / 10;
}
