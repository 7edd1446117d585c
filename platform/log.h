// The program's diagnostics: one line per event, "[module] text", on standard error. Standard output
// belongs to the headless run's status lines, which users and scripts read, so nothing here goes there.
// Any thread; lines from different threads never interleave.
#pragma once

enum class LogLevel { kError = 0, kWarning = 1, kInfo = 2, kDebug = 3 };

// Writes "[module] text" when level is at or above the threshold (BREVACAST_LOG: error, warning, info or
// debug; info by default). A trailing newline in the format is not needed.
void Log(LogLevel level, const char* module, const char* format, ...) __attribute__((format(printf, 3, 4)));

// The threshold in force (read once from the environment).
LogLevel LogThreshold();
