#!/usr/bin/env bash
# The windowed studio against the headless run doing the same live: a screen layer with moving content and
# system sound, 1280x720 at 25 fps, H.264 + AAC to a local nginx-rtmp, the preview shown in the windowed
# run. Runs alternate; for each: the whole process's CPU over the live (after it started), the frames per
# second a player receives from nginx, and (windowed) the time from the click on start to the server
# taking the first message. Medians and the ratio windowed/headless are printed.
# Usage: bench/windowed-vs-headless.sh [build-dir] [seconds] [runs]
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
seconds="${2:-60}"
runs="${3:-3}"
source "$(dirname "$0")/bench_peers.sh"

bench_xvfb "$build"
bench_pulse_tone
bench_nginx
export BREVACAST_LOG=info
# A direct RTMP address: the windowed program opens its main window without the logon window.
bench_screen_live_config "<ShowCtrl>0</ShowCtrl>" > "$work/Config.xml"

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now() { date +%s.%N; }
# Frames per second a player receives from the server over 10 s of the live.
player_fps() {
    local frames
    frames=$(timeout 30 ffprobe -v error -rw_timeout 10000000 -read_intervals "%+10" -count_packets \
        -select_streams v -show_entries stream=nb_read_packets -of csv=p=0 "rtmp://127.0.0.1:$port/live/bench" \
        2>/dev/null | head -1)
    awk -v f="${frames:-0}" 'BEGIN { printf "%.1f", f / 10 }'
}

headless=()
windowed=()
hz=$(getconf CLK_TCK)
for run in $(seq "$runs"); do
    cp "$work/Config.xml" "$work/config-run.xml"
    "$build/app/brevacastpc" --headless --config "$work/config-run.xml" --duration $((seconds + 6)) \
        >"$work/headless.txt" 2>&1 &
    pid=$!
    for _ in $(seq 200); do grep -q "^live " "$work/headless.txt" && break; sleep 0.05; done
    sleep 1
    t0=$(cpu_ticks "$pid")
    fps_h=$(player_fps)
    sleep $((seconds - 10))
    t1=$(cpu_ticks "$pid")
    wait "$pid" || true
    headless+=("$(awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.3f", (b - a) / hz / s }')")

    cp "$work/Config.xml" "$work/config-run.xml"
    "$build/app/brevacastpc" --config "$work/config-run.xml" >"$work/windowed.txt" 2>&1 &
    pid=$!
    for _ in $(seq 200); do grep -q "main window shown" "$work/windowed.txt" && break; sleep 0.05; done
    window=""
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --classname brevacastpc 2>/dev/null); do
            xdotool getwindowgeometry "$id" | grep -q "Geometry: 721x573" && window=$id
        done
        [ -n "$window" ] && break
        sleep 0.1
    done
    read -r wx wy < <(xdotool getwindowgeometry "$window" | awk '/Position/ { split($2, p, ","); print p[1], p[2] }')
    clicked=$(now)
    xdotool mousemove $((wx + 643)) $((wy + 485)) click 1
    first=""
    for _ in $(seq 1000); do
        if grep -q "server took the live's first message" "$work/windowed.txt"; then first=$(now); break; fi
        sleep 0.01
    done
    sleep 1
    t0=$(cpu_ticks "$pid")
    fps_w=$(player_fps)
    sleep $((seconds - 10))
    t1=$(cpu_ticks "$pid")
    kill -TERM "$pid"
    wait "$pid" || true
    windowed+=("$(awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.3f", (b - a) / hz / s }')")
    start_ms=$(awk -v a="$clicked" -v b="${first:-$clicked}" 'BEGIN { printf "%.0f", (b - a) * 1000 }')
    echo "run $run: headless ${headless[-1]} CPU-s/s (player ${fps_h} fps), windowed ${windowed[-1]} CPU-s/s" \
        "(player ${fps_w} fps), start to first message ${start_ms} ms"
done
mh=$(median "${headless[@]}")
mw=$(median "${windowed[@]}")
echo "median CPU over ${seconds} s of live: headless ${mh} CPU-s/s, windowed ${mw} CPU-s/s"
awk -v a="$mw" -v b="$mh" 'BEGIN { printf "ratio windowed/headless: %.2f (goal <= 1.10)\n", a / b }'
