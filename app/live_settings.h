// What a live is started with, derived in one place from the settings, the web session's publishing
// choice and the record option: the bit-rate split, output size, frame and sample rates, recording
// folder, publishing switch and URL, record flag and hardware encoding. Pure data; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "app/server_address.h"

class AppConfig;
class CLiveEngine;

struct LiveSettings {
    std::string recordFolder;
    uint32_t audioBitrate = 0;  // bits per second
    int32_t videoBitrate = 0;   // bits per second
    int32_t channels = 2;
    int32_t sampleRate = 44100;
    int32_t fps = 25;
    int32_t width = 0;
    int32_t height = 0;
    bool publishEnabled = false;
    std::string publishUrl;
    bool recordEnabled = false;
    bool useHardwareEncoder = false;

    // kind, publishToUrl and publishUrl are the web session's; kind none never publishes. record is
    // the record option. A live that would neither publish nor record would produce nothing while
    // looking like it runs, so such a live records.
    static LiveSettings From(const AppConfig& config, ServerKind kind, int32_t publishToUrl,
                             const std::string& publishUrl, bool record);

    // Fills the engine's fields before StartLive.
    void ApplyTo(CLiveEngine* engine) const;
};
