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
work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    sleep 0.2
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# X server with moving content.
exec 5<> <(:)
Xvfb -displayfd 5 -screen 0 1280x720x24 -noreset -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
read -r -t 10 number <&5
export DISPLAY=":$number"
"$build/tools/moving_pattern/moving_pattern" 25 &
pids+=($!)

# Private sound server with a null sink playing a 1 kHz tone.
mkdir -p "$work/pulse/runtime" "$work/pulse/state"
cat > "$work/pulse/own.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native
load-module module-null-sink sink_name=bvnull sink_properties=device.description=BvNull
set-default-sink bvnull
PA
echo "autospawn = no" > "$work/pulse/client.conf"
export HOME="$work/pulse" XDG_RUNTIME_DIR="$work/pulse/runtime" PULSE_RUNTIME_PATH="$work/pulse/runtime" \
    PULSE_STATE_PATH="$work/pulse/state" PULSE_SERVER="unix:$work/pulse/native" \
    PULSE_CLIENTCONFIG="$work/pulse/client.conf"
pulseaudio --daemonize=no --system=false -n -F "$work/pulse/own.pa" --exit-idle-time=-1 --realtime=no \
    --high-priority=no >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
ffmpeg -hide_banner -loglevel error -nostdin -re -f lavfi -i "sine=frequency=1000:sample_rate=44100" -ac 2 \
    -f s16le - 2>/dev/null | pacat --playback -d bvnull --format=s16le --rate=44100 --channels=2 &
pids+=($!)

# RTMP ingest.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/nginx/logs"
cat > "$work/nginx/nginx.conf" <<NGINX
load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
rtmp { server { listen 127.0.0.1:$port; chunk_size 4096; application live { live on; record off; } } }
NGINX
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
pids+=($!)
for _ in $(seq 100); do ss -ltn | grep -q ":$port " && break; sleep 0.1; done

cat > "$work/Config.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?><Config><ServerURL>rtmp://127.0.0.1:$port/live/bench</ServerURL><FrameSizeCX>1280</FrameSizeCX><FrameSizeCY>720</FrameSizeCY><Bitrate>2048</Bitrate><UseIpp>0</UseIpp><Language>en</Language><MicAudioDevice>none</MicAudioDevice><SpkAudioDevice></SpkAudioDevice><SpkGain>1.000000</SpkGain><MicGain>0.000000</MicGain><LocalSaveFolder>$work/rec</LocalSaveFolder><Scene><SceneSource><type>3</type><SourceName>screen</SourceName><Left>0</Left><Top>0</Top><Right>720</Right><Bottom>405</Bottom><KeepRatio>1</KeepRatio><Visible>1</Visible><BorderWidth>0</BorderWidth><BorderColor>0</BorderColor><ScrIdx>0</ScrIdx></SceneSource></Scene></Config>
XML

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
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
mo=$(median "${ours[@]}")
mt=$(median "${theirs[@]}")
echo "median CPU over ${seconds} s: program ${mo} s, ffmpeg ${mt} s"
awk -v a="$mo" -v b="$mt" 'BEGIN { printf "ratio program/ffmpeg: %.2f (goal <= 1.10)\n", a / b }'
