#!/usr/bin/env bash
# Sets everything up, builds the program and runs it. On a desktop (a display exists) it opens the
# studio's windows; without a display it runs the built-in demonstration live (recorded into
# build/app/demo/recordings). Arguments are passed to the program, for example
#   --headless --config Config.xml --duration 60
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build brevacastpc
exec ./build/app/brevacastpc "$@"
