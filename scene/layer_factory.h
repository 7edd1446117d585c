// Makes layer objects for the scene, from the user interface's arguments or from a stored
// record. The kind may change while the layer is made (a ".gif" picture becomes a GIF layer, a
// picture with alpha becomes a 32-bit picture). Called on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "scene/base_layer.h"

struct SceneSource;
struct MonitorRect;
struct TextStyle;
struct ChromaOptions;
class CVideoDevice;
class CFileDevice;

// What a new layer is made with besides its kind and source name. A layer rebuilt from a stored
// record takes the opacity, monitor index, style and key from the record, and only the monitor
// rectangle and the device from here. A camera or media layer takes over the caller's reference of
// its device whatever the result.
struct LayerOptions {
    int32_t opacity = 255;                  // picture, 0 to 255
    int32_t monitorIndex = 0;               // screen
    const MonitorRect* monitor = nullptr;   // screen: the monitor's rectangle as the caller found it
    const TextStyle* style = nullptr;       // text: null takes the default style
    CVideoDevice* camera = nullptr;         // camera
    const ChromaOptions* chroma = nullptr;  // camera: null is no key
    CFileDevice* media = nullptr;           // media file or stream

    static LayerOptions Picture(int32_t opacity) {
        LayerOptions o;
        o.opacity = opacity;
        return o;
    }
    static LayerOptions Screen(int32_t index, const MonitorRect* monitor = nullptr) {
        LayerOptions o;
        o.monitorIndex = index;
        o.monitor = monitor;
        return o;
    }
    static LayerOptions Text(const TextStyle* style) {
        LayerOptions o;
        o.style = style;
        return o;
    }
    static LayerOptions Camera(CVideoDevice* device, const ChromaOptions* chroma = nullptr) {
        LayerOptions o;
        o.camera = device;
        o.chroma = chroma;
        return o;
    }
    static LayerOptions Media(CFileDevice* device) {
        LayerOptions o;
        o.media = device;
        return o;
    }
};

struct LayerArgs {
    int32_t kind = 0;
    std::string sourceName;
    LayerOptions options;
    const SceneSource* record = nullptr;  // set when the layer is rebuilt from a stored record
    uint32_t fourcc = 0;                  // the canvas format
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
