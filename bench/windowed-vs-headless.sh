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
export DISPLAY=":$number"
"$build/tools/moving_pattern/moving_pattern" 25 &
pids+=($!)

mkdir -p "$work/pulse/runtime" "$work/pulse/state" "$work/run"
chmod 700 "$work/run"
cat > "$work/pulse/own.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native
load-module module-null-sink sink_name=bvnull sink_properties=device.description=BvNull
set-default-sink bvnull
PA
echo "autospawn = no" > "$work/pulse/client.conf"
export HOME="$work/pulse" XDG_RUNTIME_DIR="$work/run" PULSE_RUNTIME_PATH="$work/pulse/runtime" \
    PULSE_STATE_PATH="$work/pulse/state" PULSE_SERVER="unix:$work/pulse/native" \
    PULSE_CLIENTCONFIG="$work/pulse/client.conf" BREVACAST_LOG=info
pulseaudio --daemonize=no --system=false -n -F "$work/pulse/own.pa" --exit-idle-time=-1 --realtime=no \
    --high-priority=no >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
ffmpeg -hide_banner -loglevel error -nostdin -re -f lavfi -i "sine=frequency=1000:sample_rate=44100" -ac 2 \
    -f s16le - 2>/dev/null | pacat --playback -d bvnull --format=s16le --rate=44100 --channels=2 &
pids+=($!)

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

# A direct RTMP address: the windowed program opens its main window without the logon window.
cat > "$work/Config.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?><Config><ServerURL>rtmp://127.0.0.1:$port/live/bench</ServerURL><FrameSizeCX>1280</FrameSizeCX><FrameSizeCY>720</FrameSizeCY><Bitrate>2048</Bitrate><UseIpp>0</UseIpp><ShowCtrl>0</ShowCtrl><Language>en</Language><MicAudioDevice>none</MicAudioDevice><SpkAudioDevice></SpkAudioDevice><SpkGain>1.000000</SpkGain><MicGain>0.000000</MicGain><LocalSaveFolder>$work/rec</LocalSaveFolder><Scene><SceneSource><type>3</type><SourceName>screen</SourceName><Left>0</Left><Top>0</Top><Right>720</Right><Bottom>405</Bottom><KeepRatio>1</KeepRatio><Visible>1</Visible><BorderWidth>0</BorderWidth><BorderColor>0</BorderColor><ScrIdx>0</ScrIdx></SceneSource></Scene></Config>
XML

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
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
mh=$(median "${headless[@]}")
mw=$(median "${windowed[@]}")
echo "median CPU over ${seconds} s of live: headless ${mh} CPU-s/s, windowed ${mw} CPU-s/s"
awk -v a="$mw" -v b="$mh" 'BEGIN { printf "ratio windowed/headless: %.2f (goal <= 1.10)\n", a / b }'
