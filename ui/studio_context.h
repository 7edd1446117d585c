// The process-wide objects every window of the studio works with, made by the start-up in this order
// and torn down in reverse: the settings, the web session, the audio mixer and the two device
// registries; and where the program and its language folder are. Main thread.
#pragma once

#include <string>

#include "app/deployment_values.h"

class AppConfig;
class CWebSession;
class CAudioMixer;
class CFileDeviceList;
class CVideoDeviceList;

struct StudioContext {
    AppConfig* config = nullptr;
    CWebSession* session = nullptr;
    CAudioMixer* mixer = nullptr;
    CFileDeviceList* media = nullptr;
    CVideoDeviceList* cameras = nullptr;
    DeploymentValues deployment;
    std::string programDirectory;
    std::string versionText;  // "V" and the program's version, for the logon dialog
};
