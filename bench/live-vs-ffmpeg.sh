#!/usr/bin/env bash
# The product's performance anchor: whole-process CPU of a headless live (screen layer + system
# sound, 1280x720 at 25 fps, H.264 + AAC to a local nginx-rtmp) against ffmpeg doing the same with
# x11grab + pulse + libx264 (same x264 parameters) + aac + flv. Runs alternate; medians and the
# ratio (program / ffmpeg) are printed, with the frame rate each achieved.
# Usage: bench/live-vs-ffmpeg.sh [build-dir] [seconds] [runs]
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
seconds="${2:-30}"
runs="${3:-3}"
source "$(dirname "$0")/bench_peers.sh"

# X server with moving content, a sound server playing a tone, an RTMP ingest.
bench_xvfb "$build"
bench_pulse_tone
bench_nginx
bench_screen_live_config > "$work/Config.xml"

cpu_of() {  # runs the command, prints "user+system CPU seconds"
    local TIMEFORMAT='%U %S'
    { time "$@" >"$work/out.txt" 2>&1; } 2>&1 | tail -1 | awk '{ printf "%.2f", $1 + $2 }'
}

ours=()
theirs=()
for run in $(seq "$runs"); do
    ours+=("$(cpu_of "$build/app/brevacastpc" --headless --config "$work/Config.xml" --duration "$seconds")")
    our_fps=$(grep -o 'encoded [0-9]* frames ([0-9.]* fps)' "$work/out.txt" | tail -1 || true)
    theirs+=("$(cpu_of ffmpeg -hide_banner -nostdin -f x11grab -framerate 25 -video_size 1280x720 -i "$DISPLAY" \
        -f pulse -i bvnull.monitor -t "$seconds" -c:v libx264 -pix_fmt yuv420p -crf 35 -x264-params \
        "crf-max=45:keyint=75:level=51" -profile:v high444 -c:a aac -b:a 128k -ar 44100 -ac 2 -f flv "rtmp://127.0.0.1:$port/live/ffmpeg")")
    ffmpeg_speed=$(grep -o 'speed=[0-9.]*x' "$work/out.txt" | tail -1 || true)
    echo "run $run: program ${ours[-1]} CPU s (${our_fps}), ffmpeg ${theirs[-1]} CPU s (${ffmpeg_speed})"
done
mo=$(median "${ours[@]}")
mt=$(median "${theirs[@]}")
echo "median CPU over ${seconds} s: program ${mo} s, ffmpeg ${mt} s"
awk -v a="$mo" -v b="$mt" 'BEGIN { printf "ratio program/ffmpeg: %.2f (goal <= 1.10)\n", a / b }'
