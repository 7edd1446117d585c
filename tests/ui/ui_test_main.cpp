// The window tests' entry: one QApplication for the whole binary, offscreen unless the environment
// names a display platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Qt and fontconfig keep some allocations for the life of the process; they are theirs, not ours. Defined
// here, once per test binary: an inline definition in a header is never emitted unless something calls it,
// and the sanitizer runtime only finds an emitted one.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6\nleak:libfontconfig\nleak:libglib\nleak:libdbus\nleak:libxcb\nleak:libX11\n";
}

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
