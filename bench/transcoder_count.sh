#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Counts the instructions (every thread, valgrind's callgrind) besweet and the ffmpeg tool run on
# bench/transcoder.sh's four jobs, free of a shared machine's noise. Plain jobs are compared per
# second of input: the count on 60 s less that on 20 s, so the start-up is left out; normalised
# jobs on the 60 s whole.
#
#   bench/transcoder_count.sh [path/to/besweet]      (default: build/besweet)
#
# Environment: WORKDIR (scratch folder; default a new one under /tmp, removed at the end),
# TOOLS ("besweet ffmpeg" by default; "besweet" counts besweet alone and prints its counts).
# Needs ffmpeg and valgrind. Goals: plain AC3 at most 1.05 of ffmpeg, plain Layer II 1.0,
# normalised AC3 1.8, normalised Layer II 1.05.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
besweet=$(realpath "${1:-$here/build/besweet}")
tools=${TOOLS:-besweet ffmpeg}
[ -x "$besweet" ] || { echo "transcoder_count.sh: no besweet at $besweet" >&2; exit 2; }
for tool in ffmpeg valgrind; do
    command -v $tool >/dev/null || { echo "transcoder_count.sh: needs $tool" >&2; exit 2; }
done

# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
enter_workdir besweet-count
make_pink_noise 20 in20.wav
make_pink_noise 60 in60.wav
level_db=$(awk 'BEGIN { printf "%.3f", 20 * log(0.95) / log(10) }')


# The instructions of one command, every thread.
counted() { # command...
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*refs: *\([0-9,]*\).*/\1/p' | tr -d , | head -1
}

# set -f: the sections' words go to besweet as they are, parentheses and all.
besweet_count() { # job input
    set -f
    # shellcheck disable=SC2086
    counted "$besweet" '-core(' -input "$2" -output "b.${extensions[$1]}" ')' ${besweet_sections[$1]}
    set +f
}

# ffmpeg's way to normalise the peak: volumedetect, then volume; both commands counted.
ffmpeg_count() { # job input
    local out="f.${extensions[$1]}" filters max
    # shellcheck disable=SC2206
    local options=(${ffmpeg_options[$1]})
    if [[ ${job_names[$1]} != *_norm ]]; then
        counted ffmpeg -v error -y -i "$2" "${options[@]}" "$out"
        return
    fi
    local detect
    detect=$(counted ffmpeg -nostats -i "$2" -af volumedetect -f null -)
    max=$(ffmpeg -hide_banner -nostats -i "$2" -af volumedetect -f null - 2>&1 |
        sed -n 's/.*max_volume: \(-\?[0-9.]*\) dB.*/\1/p')
    filters="volume=$(awk -v l="$level_db" -v m="$max" 'BEGIN { printf "%.3f", l - m }')dB"
    if [ "${options[0]}" = -af ]; then
        filters="$filters,${options[1]}"
        options=("${options[@]:2}")
    fi
    echo $((detect + $(counted ffmpeg -v error -y -i "$2" -af "$filters" "${options[@]}" "$out")))
}

printf '%-24s %-8s %14s %14s %14s\n' job tool "20 s" "60 s" "per s (60-20)"
declare -A per_second whole
for i in "${!job_names[@]}"; do
    for tool in $tools; do
        short=$("${tool}_count" "$i" in20.wav)
        long=$("${tool}_count" "$i" in60.wav)
        per_second[$tool$i]=$(((long - short) / 40))
        whole[$tool$i]=$long
        printf '%-24s %-8s %14s %14s %14s\n' "${job_names[$i]}" "$tool" "$short" "$long" \
            "${per_second[$tool$i]}"
    done
done
[[ $tools == *besweet* && $tools == *ffmpeg* ]] || exit 0
echo
printf '%-32s %8s %8s\n' "besweet/ffmpeg" ratio goal
goals=(1.05 1.0 1.8 1.05)
for i in "${!job_names[@]}"; do
    if [[ ${job_names[$i]} == *_norm ]]; then
        b=${whole[besweet$i]} f=${whole[ffmpeg$i]} what="(60 s)"
    else
        b=${per_second[besweet$i]} f=${per_second[ffmpeg$i]} what="(per s)"
    fi
    printf '%-32s %8s %8s\n' "${job_names[$i]} $what" \
        "$(awk -v b="$b" -v f="$f" 'BEGIN { printf "%.2f", b / f }')" "<= ${goals[$i]}"
done
