#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/log.h"
#include "sourcekit/av_support.h"
#include "sourcekit/device_thread.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

void SkSleep1ms() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

void EnsureFfmpegDevicesRegistered() {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

void EnsureFfmpegNetworkReady() {
    static std::once_flag once;
    std::call_once(once, [] { avformat_network_init(); });
}
