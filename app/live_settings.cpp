#include "app/live_settings.h"

#include "app/app_config.h"
#include "media/bitrate_split.h"
#include "media/live_engine.h"

LiveSettings LiveSettings::From(const AppConfig& config, ServerKind kind, int32_t publishToUrl,
                                const std::string& publishUrl, bool record) {
    LiveSettings s;
    const LiveBitrates rates = SplitLiveBitrate(config.Bitrate);
    s.recordFolder = config.LocalSaveFolder;
    s.audioBitrate = rates.audioBitrate;
    s.videoBitrate = rates.videoBitrate;
    s.channels = 2;
    s.sampleRate = config.SampleRate;
    s.fps = config.Framerate;
    s.width = config.FrameSizeCX;
    s.height = config.FrameSizeCY;
    s.publishEnabled = kind != kServerNone && publishToUrl != 0;
    s.publishUrl = s.publishEnabled ? publishUrl : std::string();
    s.recordEnabled = record || !s.publishEnabled;
    s.useHardwareEncoder = config.UseIpp != 0;
    return s;
}

void LiveSettings::ApplyTo(CLiveEngine* engine) const {
    engine->recordFolder = recordFolder;
    engine->audioBitrate = audioBitrate;
    engine->videoBitrate = videoBitrate;
    engine->channels = channels;
    engine->sampleRate = sampleRate;
    engine->fps = fps;
    engine->width = width;
    engine->height = height;
    engine->publishEnabled = publishEnabled;
    engine->publishUrl = publishUrl;
    engine->recordEnabled = recordEnabled;
    engine->useHardwareEncoder = useHardwareEncoder;
}
