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

# The benchmark jobs of bench/transcoder.sh and bench/transcoder_count.sh: name, besweet's
# sections (split at blanks), ffmpeg's options, output extension. ffmpeg 5.1's libtwolame knows
# the mode as joint_stereo ("joint" is refused).
job_names=(ac3_192 mp2_224_joint_48k ac3_192_norm mp2_224_joint_48k_norm)
besweet_sections=(
    "-ac3enc( -b 192 )"
    "-ssrc( --rate 48000 ) -toolame( -m j -b 224 )"
    "-ota( -norm 0.95 ) -ac3enc( -b 192 )"
    "-ota( -norm 0.95 ) -ssrc( --rate 48000 ) -toolame( -m j -b 224 )"
)
ffmpeg_options=(
    "-c:a ac3 -b:a 192k"
    "-af aresample=48000:resampler=soxr -c:a libtwolame -b:a 224k -mode joint_stereo"
    "-c:a ac3 -b:a 192k"
    "-af aresample=48000:resampler=soxr -c:a libtwolame -b:a 224k -mode joint_stereo"
)
extensions=(ac3 mpa ac3 mpa)
