// The program's entry without its windows: the command line, the headless live (--headless), the
// demonstration live (--demo, and a bare start without a display), the composing run (--seconds).
// A bare start where a display exists, with --config and the developer's --dialog, goes to the
// windowed program the caller passes. Main thread.
#pragma once

#include <functional>
#include <string>

struct WindowedOptions {
    std::string configPath;  // empty: the default place
    std::string dialog;      // --dialog NAME: one settings dialog on its own
    int argc = 0;
    char** argv = nullptr;
};

using WindowedRunner = std::function<int(const WindowedOptions&)>;

// The process exit status.
int ProgramMain(int argc, char** argv, const WindowedRunner& runWindows);
