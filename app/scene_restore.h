// Rebuilding the stored scene at start: the first scene of the settings, top first, the way the
// main window does when it opens. Main thread.
#pragma once

#include <functional>

class AppConfig;
class CFileDeviceList;
class CScene;
class CVideoDeviceList;
struct LayerNode;
struct SceneSource;

// Told of every layer restored, in order (the main window gives each a row in its sources panel).
using RestoredLayerHandler = std::function<void(LayerNode* node, const SceneSource& record)>;

// Adds a layer for every record of the first stored scene, opening cameras and media files or
// streams through the registries. A source that cannot be opened (or made) is left out with a
// line on standard error. Returns the number of layers added.
int RestoreStoredScene(CScene* scene, const AppConfig& config, CVideoDeviceList* cameras, CFileDeviceList* media,
                       const RestoredLayerHandler& restored = {});
