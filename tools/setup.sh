#!/usr/bin/env bash
# Installs what building, running and testing the recorder needs on Debian 12 (or a
# derivative), and only what is missing. Uses sudo when not root.
set -euo pipefail

packages=(
    g++ make cmake pkg-config
    qt6-base-dev qt6-qpa-plugins libpulse-dev libx11-dev
    libgtest-dev libgmock-dev googletest
    pulseaudio pulseaudio-utils
    xvfb xauth xdotool x11-utils imagemagick openbox wmctrl
    fonts-arphic-uming
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 wine64
)
extra=("$@")

missing=()
for p in "${packages[@]}" "${extra[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null; then
    echo "setup: these packages are missing and there is no apt-get: ${missing[*]}" >&2
    exit 1
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "setup: installing ${missing[*]}"
# A fresh machine may have stale or empty package lists.
if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${missing[@]}"; then
    $sudo apt-get update
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        "${missing[@]}"
fi
