#!/usr/bin/env bash
# Sets everything up, builds the program and runs it on its built-in defaults. Arguments are
# passed to the program (for example --seconds 10 --snapshot frame.ppm).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build brevacastpc
exec ./build/app/brevacastpc "$@"
