#include "platform/thread_util.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

void SetCurrentThreadName(const char* name) {
    char shortName[16];
    std::strncpy(shortName, name, sizeof(shortName) - 1);
    shortName[sizeof(shortName) - 1] = '\0';
    pthread_setname_np(pthread_self(), shortName);
}

void SetCurrentThreadPriority(ThreadPriority priority) {
    // A raised nice value per thread rather than a real-time class: a real-time thread that
    // overruns its frame budget would starve the rest of the machine, the user interface included.
    int nice = 0;
    switch (priority) {
        case ThreadPriority::kNormal:
            return;
        case ThreadPriority::kHighest:
            nice = -5;
            break;
        case ThreadPriority::kTimeCritical:
            nice = -10;
            break;
    }
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, tid, nice);  // refused without CAP_SYS_NICE: runs at normal priority
}
