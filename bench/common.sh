# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# What the transcoder benchmarks share; sourced, not run.

# Works in $WORKDIR when it is set, else in a new folder under /tmp named after PREFIX, which is
# removed when the script ends.
enter_workdir() { # prefix
    own_workdir=false
    if [ -z "${WORKDIR:-}" ]; then
        WORKDIR=$(mktemp -d "/tmp/$1-XXXXXX")
        own_workdir=true
    fi
    trap '$own_workdir && rm -rf "$WORKDIR"; true' EXIT
    cd "$WORKDIR" || exit
}

# 44.1 kHz stereo pink noise, a different one on each side: content the encoders really have to
# work on. Kept when the file is there already.
make_pink_noise() { # seconds file
    [ -f "$2" ] && return
    ffmpeg -v error -y \
        -f lavfi -i "anoisesrc=d=$1:c=pink:r=44100:a=0.25:s=1" \
        -f lavfi -i "anoisesrc=d=$1:c=pink:r=44100:a=0.25:s=2" \
        -filter_complex "amerge=inputs=2" -c:a pcm_s16le "$2"
}
