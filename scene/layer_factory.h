// Makes layer objects for the scene, from the user interface's arguments or from a stored
// record. The kind may change while the layer is made (a ".gif" picture becomes a GIF layer, a
// picture with alpha becomes a 32-bit picture). Called on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "scene/base_layer.h"

struct SceneSource;

// The options by kind: screen: monitor index, const MonitorRect*; camera: CBaseDevice* of a
// CVideoDevice, const ChromaOptions* (null: no key); picture: opacity; text: const TextStyle*;
// media: CBaseDevice* of a CFileDevice. With a record, extra is the MonitorRect* of a screen or the
// CBaseDevice* of a camera or media layer. A camera or media layer takes over the caller's reference
// of its device whatever the result.
struct LayerArgs {
    int32_t kind = 0;
    std::string sourceName;
    intptr_t option = 0;
    intptr_t option2 = 0;
    const SceneSource* record = nullptr;  // set when the layer is rebuilt from a stored record
    intptr_t extra = 0;
    uint32_t fourcc = 0;  // the canvas format
};

class ILayerFactory {
public:
    virtual ~ILayerFactory() = default;
    // Returns the layer, or null when it cannot be made (missing file, unsupported picture).
    // May change args->kind.
    virtual std::unique_ptr<CBaseLayer> Create(LayerArgs* args) = 0;
};

// The program's factory: every layer kind the program knows.
ILayerFactory* DefaultLayerFactory();
