# The peers the comparison scripts run against, started in a private work folder and stopped by
# process id when the script ends. Sourced by the scripts in bench/; sets `work` and `pids`.

work="$(mktemp -d)"
pids=()
bench_cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    sleep 0.2
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap bench_cleanup EXIT

# A 1280x720 X server (exports DISPLAY); with a build folder, a moving pattern fills it at 25 fps.
bench_xvfb() {
    local number
    exec 5<> <(:)
    Xvfb -displayfd 5 -screen 0 1280x720x24 -noreset -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    read -r -t 10 number <&5
    export DISPLAY=":$number"
    if [ -n "${1:-}" ]; then
        "$1/tools/moving_pattern/moving_pattern" 25 &
        pids+=($!)
    fi
}

# A private sound server whose null sink "bvnull" plays a 1 kHz tone (exports the PULSE_* variables
# and a private HOME and XDG_RUNTIME_DIR).
bench_pulse_tone() {
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
        PULSE_CLIENTCONFIG="$work/pulse/client.conf"
    pulseaudio --daemonize=no --system=false -n -F "$work/pulse/own.pa" --exit-idle-time=-1 --realtime=no \
        --high-priority=no >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    ffmpeg -hide_banner -loglevel error -nostdin -re -f lavfi -i "sine=frequency=1000:sample_rate=44100" -ac 2 \
        -f s16le - 2>/dev/null | pacat --playback -d bvnull --format=s16le --rate=44100 --channels=2 &
    pids+=($!)
}

# nginx-rtmp on a free local port (sets `port`), application "live".
bench_nginx() {
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
}

# The settings of a live of one screen layer at 1280x720, 2048 kbit/s, system sound only, to
# nginx's "live/bench"; extra elements (the caller's) go before the scene.
bench_screen_live_config() {
    cat <<XML
<?xml version="1.0" encoding="UTF-8"?><Config><ServerURL>rtmp://127.0.0.1:$port/live/bench</ServerURL><FrameSizeCX>1280</FrameSizeCX><FrameSizeCY>720</FrameSizeCY><Bitrate>2048</Bitrate><UseIpp>0</UseIpp>${1:-}<Language>en</Language><MicAudioDevice>none</MicAudioDevice><SpkAudioDevice></SpkAudioDevice><SpkGain>1.000000</SpkGain><MicGain>0.000000</MicGain><LocalSaveFolder>$work/rec</LocalSaveFolder><Scene><SceneSource><type>3</type><SourceName>screen</SourceName><Left>0</Left><Top>0</Top><Right>720</Right><Bottom>405</Bottom><KeepRatio>1</KeepRatio><Visible>1</Visible><BorderWidth>0</BorderWidth><BorderColor>0</BorderColor><ScrIdx>0</ScrIdx></SceneSource></Scene></Config>
XML
}

median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
