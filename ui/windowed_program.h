// The windowed program's life, from the start to the end of the process: one instance per user, the
// version check and the hand-over to the updater, the settings and the language, the process-wide
// objects, then the logon dialog and the main window in turn until the user quits, and the teardown in
// reverse. Main thread.
#pragma once

#include <QString>
#include <string>

#include "app/program_main.h"

// The process exit status.
int RunWindowedProgram(const WindowedOptions& options);

// Starts "<programDirectory>/UpdateRunner" detached with the version service and the program's file
// name as its arguments; false when it cannot be started.
bool LaunchUpdater(const std::string& programDirectory, const std::string& versionService);
