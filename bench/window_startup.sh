#!/usr/bin/env bash
# How quickly the studio shows its first window, and how much memory it holds while it waits: the time
# from starting the program to its logon window being on the screen (a fresh start without settings,
# and a start with a direct RTMP address, whose first window is the main window with its preview), and
# the resident memory of the idle program five seconds later. On a private Xvfb; medians of runs.
# Usage: bench/window_startup.sh [build-dir] [runs]
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
runs="${2:-5}"
source "$(dirname "$0")/bench_peers.sh"

bench_xvfb
export XDG_RUNTIME_DIR="$work/run" HOME="$work/home"
mkdir -p "$work/run" "$work/home"
chmod 700 "$work/run"
cat > "$work/direct.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?><Config><ServerURL>rtmp://127.0.0.1:9/live/x</ServerURL><Language>en</Language><Scene></Scene></Config>
XML

measure() {  # label, config path (empty: a fresh start)
    local label="$1" config="$2" times=() rss=()
    for _ in $(seq "$runs"); do
        rm -f "$work/fresh.xml"
        local start end pid
        start=$(date +%s.%N)
        "$build/app/brevacastpc" --config "${config:-$work/fresh.xml}" >/dev/null 2>&1 &
        pid=$!
        # Asked every 10 ms (xdotool's own --sync asks only twice a second).
        until xdotool search --onlyvisible --classname brevacastpc >/dev/null 2>&1; do sleep 0.01; done
        end=$(date +%s.%N)
        sleep 5
        rss+=("$(awk '/VmRSS/ { print $2 / 1024 }' "/proc/$pid/status")")
        kill -TERM "$pid"
        wait "$pid" || true
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", (b - a) * 1000 }')")
    done
    printf '%-38s first window %s ms (runs: %s), idle resident memory %.1f MiB\n' "$label" \
        "$(median "${times[@]}")" "${times[*]}" "$(median "${rss[@]}")"
}
measure "fresh start (logon window)" ""
measure "direct RTMP address (main window)" "$work/direct.xml"
