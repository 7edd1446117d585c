#!/usr/bin/env bash
# Encodes the same raw YUY2 frames with our libx264 encoder (encoder_bench) and with the ffmpeg CLI's libx264
# at the live parameters (CRF 35, CRF max 45, key frame every fps x 3, level 5.1, high444 profile call, no
# preset or tune, 4:2:0 input), and prints both rates and their ratio: frames per second of wall time, and
# CPU milliseconds per frame over all threads (the steadier figure when the machine is shared). The sides run
# alternately, rounds times each, and each keeps its best run.
# Usage: bench/x264_vs_ffmpeg.sh [build-dir] [frames] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
frames="${2:-100}"
rounds="${3:-3}"
bench="$build/bench/encoder_bench"
fps=25
[ -x "$bench" ] || { echo "[bench] $bench not built" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for size in 1280x720 1920x1080; do
    # Moving test picture with grain, so motion search and quantisation have real work.
    ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i "testsrc2=size=$size:rate=$fps" \
        -vf "noise=alls=10:allf=t" -frames:v "$frames" -pix_fmt yuyv422 -f rawvideo "$work/$size.yuyv"
done

ours() {  # size -> "fps cpu-ms-per-frame"
    local w="${1%x*}" h="${1#*x}"
    BV_ENCODER_BENCH_RAW="$work" BV_ENCODER_BENCH_FRAMES="$frames" "$bench" \
        --benchmark_filter="BM_X264EncodeClip/$w/$h/" --benchmark_format=json 2>/dev/null |
        python3 -c 'import json,sys; b=json.load(sys.stdin)["benchmarks"][0]; print("%.2f %.1f" % (b["fps"], b["cpu_ms_per_frame"]))'
}

theirs() {  # size -> "fps cpu-ms-per-frame", from ffmpeg's own -benchmark figures
    local size="$1" vbv
    vbv=$((2944000 * 12 / 10 / 1000))
    ffmpeg -hide_banner -nostdin -benchmark -f rawvideo -pix_fmt yuyv422 -s "$size" -r "$fps" -i "$work/$size.yuyv" \
        -c:v libx264 -pix_fmt yuv420p -crf 35 -crf_max 45 -g $((fps * 3)) -level 5.1 -profile:v high444 \
        -x264-params "ratetol=0.1:vbv-maxrate=$vbv:repeat-headers=0" \
        -f h264 -y /dev/null 2>&1 |
        sed -n 's/.*utime=\([0-9.]*\)s stime=\([0-9.]*\)s rtime=\([0-9.]*\)s.*/\1 \2 \3/p' |
        awk -v n="$frames" '{ printf "%.2f %.1f\n", n / $3, ($1 + $2) * 1000 / n }'
}

printf '%-10s %10s %10s %8s   %14s %14s %8s\n' size "ours fps" "ffmpeg" ratio "ours cpu ms/f" "ffmpeg" ratio
for size in 1280x720 1920x1080; do
    best_o=0 best_f=0 cpu_o=1e9 cpu_f=1e9 runs=""
    for ((r = 0; r < rounds; r++)); do
        read -r o oc < <(ours "$size")
        read -r f fc < <(theirs "$size")
        runs="$runs $o/$f"
        best_o=$(awk -v a="$o" -v b="$best_o" 'BEGIN { print (a > b ? a : b) }')
        best_f=$(awk -v a="$f" -v b="$best_f" 'BEGIN { print (a > b ? a : b) }')
        cpu_o=$(awk -v a="$oc" -v b="$cpu_o" 'BEGIN { print (a < b ? a : b) }')
        cpu_f=$(awk -v a="$fc" -v b="$cpu_f" 'BEGIN { print (a < b ? a : b) }')
    done
    # The CPU ratio is ffmpeg's cost over ours, so that above 1 means faster on both columns.
    printf '%-10s %10s %10s %8s   %14s %14s %8s   (fps runs ours/ffmpeg:%s)\n' "$size" "$best_o" "$best_f" \
        "$(awk -v a="$best_o" -v b="$best_f" 'BEGIN { printf "%.3f", a / b }')" "$cpu_o" "$cpu_f" \
        "$(awk -v a="$cpu_f" -v b="$cpu_o" 'BEGIN { printf "%.3f", a / b }')" "$runs"
done
