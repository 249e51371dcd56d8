#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need (as root).
# Does nothing when they are all present; runs apt-get update once otherwise.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang
    googletest libgtest-dev libbenchmark-dev libpng-dev pkg-config
    g++-mingw-w64-i686 binutils-mingw-w64-i686
    g++-multilib qemu-user-static
    ffmpeg
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi
echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
