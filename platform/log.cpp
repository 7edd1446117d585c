#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

LogLevel ReadThreshold() {
    const char* value = std::getenv("BREVACAST_LOG");
    if (value == nullptr) return LogLevel::kInfo;
    if (std::strcmp(value, "error") == 0) return LogLevel::kError;
    if (std::strcmp(value, "warning") == 0) return LogLevel::kWarning;
    if (std::strcmp(value, "debug") == 0) return LogLevel::kDebug;
    return LogLevel::kInfo;
}

}  // namespace

LogLevel LogThreshold() {
    static const LogLevel threshold = ReadThreshold();
    return threshold;
}

void Log(LogLevel level, const char* module, const char* format, ...) {
    if (static_cast<int>(level) > static_cast<int>(LogThreshold())) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (length < 0) return;
    size_t end = std::strlen(text);
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) text[--end] = '\0';
    // One write per line keeps lines of different threads apart.
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    std::fprintf(stderr, "[%s] %s\n", module, text);
}
