// A whole live without windows: settings, the stored scene, sound devices, the engine, go-live,
// status lines on standard output, and a clean stop at the end of the duration or on SIGINT or
// SIGTERM. For automation, servers and CI; no X display is needed unless the scene captures a
// screen. Runs on the calling (main) thread.
#pragma once

#include <string>

struct HeadlessOptions {
    std::string configPath;
    double durationSeconds = 0.0;  // 0: until a signal
    bool record = false;           // record locally as well (the record button)
};

// Returns the process exit status: 0 after a live that started and stopped cleanly.
int RunHeadlessLive(const HeadlessOptions& options);

// Writes a settings file for a short demonstration live: a generated picture and a scrolling
// caption, recorded into recordFolder, no server. Returns false when it cannot be written.
bool WriteDemoSettings(const std::string& folder, const std::string& recordFolder, std::string* configPath);
