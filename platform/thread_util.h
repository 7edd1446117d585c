// Naming and prioritising the program's threads. Names show in debuggers and `top -H`;
// priorities are best effort (refused without privileges, then the thread runs at normal priority).
#pragma once

enum class ThreadPriority { kNormal, kHighest, kTimeCritical };

// Names the calling thread (at most 15 characters are kept).
void SetCurrentThreadName(const char* name);

// Raises the calling thread's priority where the system permits; silently keeps it otherwise.
void SetCurrentThreadPriority(ThreadPriority priority);
