#!/usr/bin/env bash
# Whole-process CPU of capturing a 1280x720 desktop at 25 fps for 20 s: the program (screen layer
# composed into a 1280x720 canvas) side by side with ffmpeg's x11grab converting to the same BGR
# format. Prints CPU seconds for each and the ratio (program / ffmpeg).
# Usage: bench/screen_cpu_vs_ffmpeg.sh [build-dir] [seconds]
set -euo pipefail
build="${1:-build}"
seconds="${2:-20}"
source "$(dirname "$0")/bench_peers.sh"
bench_xvfb

cat > "$work/Config.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?><Config><FrameSizeCX>1280</FrameSizeCX><FrameSizeCY>720</FrameSizeCY><Scene><SceneSource><type>3</type><SourceName>screen</SourceName><Left>0</Left><Top>0</Top><Right>720</Right><Bottom>405</Bottom><KeepRatio>1</KeepRatio><Visible>1</Visible><BorderWidth>0</BorderWidth><BorderColor>0</BorderColor><ScrIdx>0</ScrIdx></SceneSource></Scene></Config>
XML

cpu_of() {  # prints user+system CPU seconds of the command
    local TIMEFORMAT='%U %S'
    { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.2f", $1 + $2 }'
}

ours=$(cpu_of "$build/app/brevacastpc" --config "$work/Config.xml" --seconds "$seconds")
theirs=$(cpu_of ffmpeg -hide_banner -nostdin -f x11grab -framerate 25 -video_size 1280x720 -i "$DISPLAY" \
    -t "$seconds" -pix_fmt bgr24 -f null -)
echo "program: ${ours} CPU s, ffmpeg x11grab: ${theirs} CPU s over ${seconds} s"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio program/ffmpeg: %.2f\n", a / b }'
