#!/usr/bin/env bash
# How quickly the studio shows its first window, and how much memory it holds while it waits: the time
# from starting the program to its logon window being on the screen (a fresh start without settings,
# and a start with a direct RTMP address, whose first window is the main window with its preview), and
# the resident memory of the idle program five seconds later. On a private Xvfb; medians of runs.
# Usage: bench/window_startup.sh [build-dir] [runs]
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
runs="${2:-5}"
work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    sleep 0.2
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

exec 5<> <(:)
Xvfb -displayfd 5 -screen 0 1280x720x24 -noreset -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
read -r -t 10 number <&5
export DISPLAY=":$number" XDG_RUNTIME_DIR="$work/run" HOME="$work/home"
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
    median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
    printf '%-38s first window %s ms (runs: %s), idle resident memory %.1f MiB\n' "$label" \
        "$(median "${times[@]}")" "${times[*]}" "$(median "${rss[@]}")"
}
measure "fresh start (logon window)" ""
measure "direct RTMP address (main window)" "$work/direct.xml"
