#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the tests, the fuzz targets (clang and its sanitizer
# and libFuzzer runtimes) and the benchmarks need; only missing ones. The MinGW cross compiler
# and wine build and run the Windows core; dpkg-dev, file, lintian, desktop-file-utils and
# appstream build and check the Debian package and the desktop files; dbus gives the tests a
# session bus of their own (dbus-daemon).
set -euo pipefail

packages=(
    cmake g++ make pkg-config locales
    qt6-base-dev qt6-translations-l10n fonts-liberation dbus
    libgtest-dev libgmock-dev
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    # The Windows core and launcher: built with mingw-w64 (POSIX threads for GoogleTest, built
    # from its sources) and run, with a Windows transcoder stand-in, under wine.
    g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix googletest wine
    dpkg-dev file lintian desktop-file-utils appstream
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -ne 0 ]; then
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The German locale, so the C library's own German reasons for system errors are used (and
# their test runs); the program falls back to a table of its own without it.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    "${sudo_cmd[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'de_DE.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi
