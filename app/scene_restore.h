// Rebuilding the stored scene at start: the first scene of the settings, top first, the way the
// main window does when it opens. Main thread.
#pragma once

class AppConfig;
class CFileDeviceList;
class CScene;
class CVideoDeviceList;

// Adds a layer for every record of the first stored scene, opening cameras and media files or
// streams through the registries. A source that cannot be opened (or made) is left out with a
// line on standard error. Returns the number of layers added.
int RestoreStoredScene(CScene* scene, const AppConfig& config, CVideoDeviceList* cameras, CFileDeviceList* media);
