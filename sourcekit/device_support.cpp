#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "sourcekit/av_owners.h"
#include "sourcekit/device_thread.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

void SkSleep1ms() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

void SkLog(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    std::fprintf(stderr, "[sourcekit] %s\n", line);
}

void EnsureFfmpegDevicesRegistered() {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

void EnsureFfmpegNetworkReady() {
    static std::once_flag once;
    std::call_once(once, [] { avformat_network_init(); });
}
