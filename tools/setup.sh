#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking BrevacastPC needs.
# Safe to run again: packages already present are left alone and nothing is downloaded then.
set -euo pipefail

packages=(
    # build, tests, benchmarks
    build-essential cmake ninja-build ccache pkg-config clang-format
    clang  # libFuzzer targets (tools/fuzz_portallink.sh)
    libgtest-dev libgmock-dev libbenchmark-dev
    # media
    libavformat-dev libavcodec-dev libavutil-dev libavdevice-dev libswresample-dev libswscale-dev
    librtmp-dev libx264-dev libmfx-dev libva-dev
    # configuration, web service
    libpugixml-dev libjsoncpp-dev libexpat1-dev libcurl4-openssl-dev libssl-dev
    # user interface, text, screen, sound
    qt6-base-dev libpango1.0-dev libcairo2-dev libpng-dev fonts-dejavu-core fonts-wqy-microhei
    libx11-dev libxext-dev libxfixes-dev libxrandr-dev libpulse-dev
    libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-randr0-dev
    # real peers used by the tests
    ffmpeg xvfb x11-xserver-utils xdotool trayer pulseaudio pulseaudio-utils nginx libnginx-mod-rtmp
    libgl1-mesa-dri  # OpenGL on Xvfb (Mesa's software rasteriser), for the preview's OpenGL path
    python3 iproute2 procps locales
    # packaging checks: the desktop entry, the metainfo, the .deb's library dependencies
    desktop-file-utils appstream dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

ensure_test_locale() {
    # The settings tests check that numbers are written the same under a comma-decimal locale.
    if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
        $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "[setup] could not build de_DE.UTF-8 (locale tests will skip)"
    fi
}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ "${#missing[@]}" -eq 0 ]; then
    ensure_test_locale
    echo "[setup] all ${#packages[@]} packages present"
    exit 0
fi

echo "[setup] installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# nginx's package scripts try to start the service; keep the machine's service manager out of it.
if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod +x /usr/sbin/policy-rc.d
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_test_locale
echo "[setup] done"
