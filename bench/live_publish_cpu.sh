#!/usr/bin/env bash
# CPU figures of a live published to a private nginx (see bench/live_publish_driver.cpp):
#   - the whole process during a 20 s headless publish of composed 1280x720 frames at 25 fps with sound,
#     and the same kind of live made by the ffmpeg command line;
#   - the engine while its server is down, with reconnection attempts paced (1000 ms) and unpaced (0);
#   - how long StopLive waits while a reconnection hangs in a handshake.
# Usage: bench/live_publish_cpu.sh [build-dir] [seconds]
set -euo pipefail
build="${1:-build}"
seconds="${2:-20}"
driver="$build/bench/live_publish_driver"
if [ ! -x "$driver" ]; then
    echo "build $driver first (ninja -C $build live_publish_driver)" >&2
    exit 1
fi
echo "== machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
"$driver" publish "$seconds" 1280 720 25
"$driver" ffmpeg-reference "$seconds"
"$driver" server-down 0
"$driver" server-down 1000
"$driver" stop-while-connecting
