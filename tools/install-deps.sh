#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the fuzz targets (clang and its sanitizer
# and libFuzzer runtimes) and the benchmarks need; only missing ones.
set -euo pipefail

packages=(
    cmake g++ make pkg-config locales
    qt6-base-dev qt6-translations-l10n fonts-liberation
    libgtest-dev libgmock-dev
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    g++-mingw-w64-x86-64
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
