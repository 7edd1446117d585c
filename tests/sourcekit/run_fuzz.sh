#!/usr/bin/env bash
# Runs the file decoding fuzz target for a fixed time on seed files made here by ffmpeg.
# usage: run_fuzz.sh FUZZER SECONDS
# A failing input is left in the current folder (libFuzzer: crash-*, the stand-in: fuzz-crash-input).
set -euo pipefail
fuzzer="$1"
seconds="${2:-20}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
corpus="$work/corpus"
mkdir -p "$corpus"

make_seed() {  # output name, ffmpeg arguments...
    local name="$1"
    shift
    ffmpeg -nostdin -v error -y "$@" "$corpus/$name"
}
video=(-f lavfi -i "testsrc2=s=64x48:r=15:d=0.5")
sound=(-f lavfi -i "sine=f=440:r=22050:d=0.5")
make_seed seed.mp4 "${video[@]}" "${sound[@]}" -c:v libx264 -preset ultrafast -bf 2 -pix_fmt yuv420p -c:a aac -b:a 24k
make_seed seed.mkv "${video[@]}" "${sound[@]}" -c:v mpeg4 -pix_fmt yuv420p -c:a libopus -b:a 16k
make_seed seed.flv "${video[@]}" "${sound[@]}" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a libmp3lame -b:a 32k
make_seed seed.ts "${video[@]}" "${sound[@]}" -c:v mpeg2video -pix_fmt yuv420p -c:a mp2
make_seed seed.avi "${video[@]}" "${sound[@]}" -c:v mjpeg -pix_fmt yuvj420p -c:a pcm_s16le
make_seed seed.webm "${video[@]}" "${sound[@]}" -c:v libvpx -pix_fmt yuv420p -c:a libvorbis
make_seed seed.wav "${sound[@]}" -c:a pcm_f32le
make_seed seed.h264 "${video[@]}" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -f h264

"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 -seed=1 "$corpus"
