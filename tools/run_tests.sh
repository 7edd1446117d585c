#!/usr/bin/env bash
# Sets everything up and runs every test: a check that the core includes no Qt, a normal build
# (program, tests, benchmarks), the tests again under AddressSanitizer + UndefinedBehaviorSanitizer,
# the threaded tests under ThreadSanitizer, and a fuzzing run of PortalLink's answer path. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

echo "== the core includes no Qt"
# Only the windows (ui/) and what tests, measures or draws them may include Qt.
if git grep -n -E '#include <Q[A-Za-z]*>|#include <Qt' -- '*.cpp' '*.h' ':!ui/' ':!tests/ui/' ':!tests/e2e/' \
    ':!tools/skin_painter/' ':!bench/logon_bench.cpp' ':!bench/preview_bench.cpp'; then
    echo "Qt included outside the windows' code (above)" >&2
    exit 1
fi

jobs="${BV_JOBS:-$(nproc)}"
configure() {  # build-dir, extra cmake arguments...
    local dir="$1"
    shift
    cmake -G Ninja -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

echo "== normal build"
configure build
ninja -C build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure build-asan -DBV_SANITIZE=address,undefined -DBV_BENCH=OFF -DBV_PROGRAM=OFF
ninja -C build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer (threaded tests)"
configure build-tsan -DBV_SANITIZE=thread -DBV_BENCH=OFF -DBV_PROGRAM=OFF -DBV_THREADED_TESTS_ONLY=ON
ninja -C build-tsan -j "$jobs"
# ThreadSanitizer cannot map its shadow memory under the kernel's full address randomisation;
# run it with randomisation off for these processes only.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    setarch "$(uname -m)" -R ctest --test-dir build-tsan --output-on-failure -j "$jobs"

echo "== libFuzzer: PortalLink's answer path, fixed time"
bash tools/fuzz_portallink.sh "${BV_FUZZ_SECONDS:-60}"
