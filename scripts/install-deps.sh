#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need (as root).
# Does nothing when they are all present; runs apt-get update once otherwise.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang
    googletest libgtest-dev libbenchmark-dev libpng-dev pkg-config
    g++-mingw-w64-i686 binutils-mingw-w64-i686
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    g++-multilib qemu-user-static
    ffmpeg libavformat-dev libavcodec-dev libavutil-dev
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-libav
    libclang-rt-14-dev
    man-db bash-completion
    wine wine64 wine32:i386
)

# Wine's 32-bit half (it runs the shipped 32-bit DLL) comes from the i386
# architecture, which a fresh machine does not have yet.
needs_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    needs_i386=1
fi

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
if [ "$needs_i386" -eq 1 ]; then $sudo dpkg --add-architecture i386; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
