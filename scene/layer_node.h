// One entry of the scene's layer list and the layer kinds. Nodes are linked, unlinked and freed
// only by the composition thread; the node owns its layer.
#pragma once

#include <cstdint>
#include <memory>

#include "scene/base_layer.h"

enum LayerKind : int32_t {
    kLayerTopEnd = 0,
    kLayerScreen = 1,
    kLayerDevice = 2,
    kLayerPicture = 3,
    kLayerPicture32 = 4,
    kLayerText = 5,
    kLayerPlain = 7,
    kLayerBottomEnd = 8,
    kLayerGif = 9,
    kLayerFile = 10,
};

// The layer kind that rebuilds a stored record of the given type; -1 for an unknown type.
inline int32_t LayerKindOfRecord(int32_t recordType) {
    switch (recordType) {
        case 0:
            return kLayerPicture;  // picture (a GIF or a picture with alpha decides its own kind)
        case 1:
            return kLayerDevice;
        case 2:
            return kLayerText;
        case 3:
            return kLayerScreen;
        case 4:
            return kLayerFile;
        default:
            return -1;
    }
}

struct LayerNode {
    int32_t kind = kLayerPlain;
    std::unique_ptr<CBaseLayer> layer;
    LayerNode* above = nullptr;  // toward the top
    LayerNode* below = nullptr;  // toward the bottom
};
