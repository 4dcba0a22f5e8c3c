#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the game need.
# Safe to run again: it only installs what is missing.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libbz2-dev bzip2 zlib1g-dev
    libvorbis-dev libogg-dev
    libsdl2-dev libepoxy-dev libgl1-mesa-dri libegl-mesa0
    libfreetype-dev fonts-dejavu-core
    xvfb xauth xdotool
    libssl-dev openssl python3 libunwind-dev
    libx11-dev libxfixes-dev
    binutils
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
