#include "app/scene_restore.h"

#include <cstdio>
#include <vector>

#include "app/app_config.h"
#include "app/language_table.h"
#include "platform/log.h"
#include "platform/x11/monitors.h"
#include "scene/file_device_list.h"
#include "scene/scene.h"
#include "scene/video_device_list.h"

int RestoreStoredScene(CScene* scene, const AppConfig& config, CVideoDeviceList* cameras, CFileDeviceList* media,
                       const RestoredLayerHandler& restored) {
    if (config.Scenes.empty()) return 0;
    std::vector<MonitorRect> monitors;
    bool monitorsRead = false;
    int count = 0;
    for (const auto& record : config.Scenes.front()->Records()) {
        const int kind = LayerKindOfRecord(record->type);
        if (kind < 0) {
            Log(LogLevel::kWarning, "app", "source \"%s\" (type %d): unknown kind of source; skipped",
                record->SourceName.c_str(), record->type);
            continue;
        }
        LayerOptions options;
        if (kind == kLayerScreen) {
            if (!monitorsRead) {
                monitors = EnumerateMonitors();
                monitorsRead = true;
            }
            if (record->ScrIdx < 0 || record->ScrIdx >= static_cast<int>(monitors.size())) {
                Log(LogLevel::kWarning, "app", "screen %d: no such monitor; skipped", record->ScrIdx);
                continue;
            }
            options.monitor = &monitors[record->ScrIdx];
        } else if (kind == kLayerDevice) {
            const CaptureOptions capture{record->Width, record->Height, record->FrameRate, record->Fourcc};
            CVideoDevice* device = cameras->OpenVideoDevice(record->SourceName, &capture, record->DeInterlace != 0);
            if (device == nullptr) {
                Log(LogLevel::kWarning, "app", "%s: \"%s\"; skipped", GetText(24).c_str(), record->SourceName.c_str());
                continue;
            }
            options.camera = device;
        } else if (kind == kLayerFile) {
            CFileDevice* device = media->OpenFileDevice(record->SourceName, config.FrameSizeCX, config.FrameSizeCY,
                                                        record->Volume, static_cast<uint32_t>(record->PlayFlag));
            if (device == nullptr) {
                Log(LogLevel::kWarning, "app", "%s: \"%s\"; skipped", GetText(21).c_str(), record->SourceName.c_str());
                continue;
            }
            options.media = device;
        }
        LayerNode* node = scene->AddLayerFromRecord(kind, *record, options);
        if (node == nullptr) {
            Log(LogLevel::kWarning, "app", "source \"%s\" could not be opened; skipped", record->SourceName.c_str());
            continue;
        }
        if (restored) restored(node, *record);
        ++count;
    }
    return count;
}
