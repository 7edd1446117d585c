#include "scene/layer_factory.h"

#include "scene/layer_node.h"

namespace {

class CDefaultLayerFactory : public ILayerFactory {
public:
    std::unique_ptr<CBaseLayer> Create(LayerArgs* args) override {
        switch (args->kind) {
            case kLayerPlain: {
                auto layer = std::make_unique<CBaseLayer>();
                layer->sourceName = args->sourceName;
                return layer;
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
