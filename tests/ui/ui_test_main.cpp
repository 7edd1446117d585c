// The window tests' entry: one QApplication for the whole binary, offscreen unless the environment
// names a display platform. Binaries built with BV_UI_TEST_XVFB run on a private X server of their own
// instead (real windows, pointer and cursor, OpenGL through the server's GLX).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef BV_UI_TEST_XVFB
#include <dlfcn.h>
#include <unistd.h>

#include "tools/peers/xvfb_server.h"
#endif

// Qt, fontconfig and Mesa's software GL driver keep some allocations for the life of the process; they are
// theirs, not ours. Defined here, once per test binary: an inline definition in a header is never emitted
// unless something calls it, and the sanitizer runtime only finds an emitted one.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6\nleak:libfontconfig\nleak:libglib\nleak:libdbus\nleak:libxcb\nleak:libX11\nleak:swrast_dri\n";
}

int main(int argc, char** argv) {
#ifdef BV_UI_TEST_XVFB
    CXvfbServer xvfb;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        if (!xvfb.Start(1280, 720)) {
            std::fprintf(stderr, "cannot start Xvfb for the window tests\n");
            return 1;
        }
        setenv("DISPLAY", xvfb.Display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
#if defined(__SANITIZE_ADDRESS__)
    // Mesa's software driver keeps a few blocks from its first draw until it is unloaded at exit; once
    // unloaded, LeakSanitizer can no longer name it and its suppression cannot match. Kept loaded.
    const char* driver = "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so";
    if (access(driver, R_OK) == 0) dlopen(driver, RTLD_NOW | RTLD_NODELETE);
#endif
#endif
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int result = 0;
    {
        // Gone before the X server stops.
        QApplication application(argc, argv);
        testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
