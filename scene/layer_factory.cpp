#include "scene/layer_factory.h"

#include <algorithm>

#include "scene/dev_layer.h"
#include "scene/file_layer.h"
#include "scene/gif_layer.h"
#include "scene/layer_node.h"
#include "scene/picture32_layer.h"
#include "scene/picture_layer.h"
#include "scene/scene_source.h"
#include "scene/screen_layer.h"
#include "scene/text_layer.h"

namespace {

// A picture file decides its own kind: a name ending in ".gif" (any letter case) is an animation;
// any other file is decoded, and its depth makes it a 24-bit picture drawn with the user's
// opacity or a 32-bit picture drawn by its alpha. Other depths make no layer.
std::unique_ptr<CBaseLayer> MakePictureLayer(LayerArgs* args) {
    const std::string& name = args->sourceName;
    std::string suffix = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
    for (char& c : suffix) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (suffix == ".gif") {
        args->kind = kLayerGif;
        return std::make_unique<CGifLayer>(name);
    }
    std::unique_ptr<CPictureBitmap> bitmap = LoadPicture(name);
    if (!bitmap) return nullptr;
    if (bitmap->BitsPerPixel() == 32) {
        args->kind = kLayerPicture32;
        return std::make_unique<CPic32Layer>(name, *bitmap);
    }
    args->kind = kLayerPicture;
    const int32_t opacity = args->record ? args->record->Alpha : args->options.opacity;
    return std::make_unique<CPicLayer>(name, *bitmap, std::clamp<int32_t>(opacity, 0, 255));
}

// A screen layer captures the rectangle its creator found for the monitor; without one (a stored
// scene restored before the monitor list was read) the layer asks the server itself. A monitor
// that is gone falls back to the first one, keeping its index for the stored scene.
std::unique_ptr<CBaseLayer> MakeScreenLayer(const LayerArgs& args) {
    const int index = args.record ? args.record->ScrIdx : args.options.monitorIndex;
    const MonitorRect* given = args.options.monitor;
    MonitorRect rect;
    if (given != nullptr) {
        rect = *given;
    } else {
        const std::vector<MonitorRect> monitors = EnumerateMonitors();
        if (!monitors.empty())
            rect = index >= 0 && index < static_cast<int>(monitors.size()) ? monitors[index] : monitors[0];
    }
    auto layer = std::make_unique<CScrLayer>(args.fourcc, index, rect);
    layer->sourceName = args.sourceName;
    return layer;
}

// Camera and media layers take over the reference of the device their creator opened.
std::unique_ptr<CBaseLayer> MakeDeviceLayer(const LayerArgs& args) {
    CVideoDevice* device = args.options.camera;
    if (device == nullptr) return nullptr;
    ChromaOptions chroma;
    if (args.record) {
        chroma.chromaKey = args.record->ChromaKey;
        chroma.keyColor = args.record->KeyColor;
        chroma.similarity = args.record->Similarity;
    } else if (const ChromaOptions* given = args.options.chroma) {
        chroma = *given;
    }
    return std::make_unique<CDevLayer>(device->Name(), device, chroma, args.fourcc);
}

std::unique_ptr<CBaseLayer> MakeFileLayer(const LayerArgs& args) {
    CFileDevice* device = args.options.media;
    if (device == nullptr) return nullptr;
    return std::make_unique<CFileLayer>(device->Name(), device, args.fourcc);
}

class CDefaultLayerFactory : public ILayerFactory {
public:
    std::unique_ptr<CBaseLayer> Create(LayerArgs* args) override {
        switch (args->kind) {
            case kLayerPlain: {
                auto layer = std::make_unique<CBaseLayer>();
                layer->sourceName = args->sourceName;
                return layer;
            }
            case kLayerScreen:
                return MakeScreenLayer(*args);
            case kLayerDevice:
                return MakeDeviceLayer(*args);
            case kLayerFile:
                return MakeFileLayer(*args);
            case kLayerPicture:
            case kLayerPicture32:
            case kLayerGif:
                return MakePictureLayer(args);
            case kLayerText: {
                // From the user interface the option points at the style; without one the caption
                // takes the default style rather than reading through a null pointer.
                const TextStyle* given = args->options.style;
                const TextStyle style =
                    args->record ? TextStyle::FromRecord(*args->record) : (given ? *given : TextStyle{});
                return std::make_unique<CTxtLayer>(args->sourceName, style, args->fourcc);
            }
            default:
                return nullptr;
        }
    }
};

}  // namespace

ILayerFactory* DefaultLayerFactory() {
    static CDefaultLayerFactory factory;
    return &factory;
}
