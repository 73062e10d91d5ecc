#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that are missing, through sudo unless run as root.
#   tools/install-deps.sh           what building and running the program and besweet need
#   tools/install-deps.sh --tests   and what the test suite needs
#   tools/install-deps.sh --ci      and what CI adds: clang and its sanitizer and libFuzzer runtimes
set -euo pipefail

tests=false ci=false
for option in "$@"; do
    case $option in
        --tests) tests=true ;;
        --ci) tests=true ci=true ;;
        *) echo "usage: $0 [--tests | --ci]" >&2; exit 2 ;;
    esac
done

packages=(
    cmake g++ make pkg-config gettext
    # Makes the German manual pages from the English ones and their catalogue.
    po4a
    qt6-base-dev qt6-qpa-plugins
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    # Optional for running: the German texts of Qt's own dialogs, the window's font, and
    # xdg-open for "Ordner öffnen" where no file manager answers on the session bus.
    qt6-translations-l10n fonts-liberation xdg-utils
)
if $tests; then
    packages+=(
        libgtest-dev libgmock-dev locales dbus-daemon
        # The oracle of besweet's loudness measure.
        libebur128-dev
        # The Windows core and launcher: built with mingw-w64 (POSIX threads for GoogleTest,
        # built from its sources) and run, with a Windows transcoder stand-in, under wine.
        g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix googletest wine
        # The Debian package and the desktop files: built and checked.
        dpkg-dev file lintian desktop-file-utils appstream
    )
fi
if $ci; then
    packages+=(clang libclang-rt-14-dev)
fi

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

# The tests run the programs in German: the C library's German reasons for system errors, and
# besweet's catalogue under LANG=de_DE.UTF-8.
if $tests && ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    "${sudo_cmd[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'de_DE.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi
