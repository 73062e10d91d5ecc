#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What decoding each delivered track again and measuring its loudness costs a plain AC3 job:
# times a besweet built without the summary (BEFORE) against one with it (AFTER) on the same
# job (10 minutes of 44.1 kHz stereo pink noise to AC3 192 kbps), by turns, and prints the
# medians of wall and CPU time and the share the summary adds. Goal: under 3 %.
# On a shared machine times move with the other load: COUNT=instructions counts the instructions
# each runs (all threads, with valgrind's callgrind) on the first SECONDS of the input instead,
# which gives the same figures on every run.
#
#   bench/summary_cost.sh path/to/besweet-before path/to/besweet-after
#
# Environment: RUNS (runs of each, default 5), COUNT (time, the default, or instructions),
# SECONDS_COUNTED (default 60), WORKDIR (scratch folder; default a new one under /tmp, removed at
# the end). Needs ffmpeg (for the input), /usr/bin/time, and valgrind to count instructions.
set -euo pipefail

before=$(realpath "$1")
after=$(realpath "$2")
runs=${RUNS:-5}
for b in "$before" "$after"; do
    [ -x "$b" ] || { echo "summary_cost.sh: no besweet at $b" >&2; exit 2; }
done
command -v ffmpeg >/dev/null || { echo "summary_cost.sh: needs ffmpeg" >&2; exit 2; }

# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
enter_workdir besweet-summary

make_pink_noise 600 in10.wav

# "wall user+system" seconds of one plain AC3 job.
times_of() { # besweet
    /usr/bin/time -f "%e %U %S" -o time.txt "$1" '-core(' -input in10.wav -output o.ac3 ')' \
        '-ac3enc(' -b 192 ')' >/dev/null
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' time.txt
}

# Instructions of one plain AC3 job on the input's first seconds.
instructions_of() { # besweet
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" '-core(' -input part.wav \
        -output o.ac3 ')' '-ac3enc(' -b 192 ')' 2>&1 >/dev/null |
        sed -n 's/.*refs: *\([0-9,]*\).*/\1/p' | tr -d ,
}

if [ "${COUNT:-time}" = instructions ]; then
    command -v valgrind >/dev/null || { echo "summary_cost.sh: needs valgrind" >&2; exit 2; }
    counted=${SECONDS_COUNTED:-60}
    ffmpeg -v error -y -i in10.wav -t "$counted" -c:a pcm_s16le part.wav
    b=$(instructions_of "$before")
    a=$(instructions_of "$after")
    printf '%-34s %16s\n' "plain AC3 job (${counted} s)" "instructions"
    printf '%-34s %16s\n' "without the summary" "$b" "with the summary" "$a"
    awk -v b="$b" -v a="$a" \
        'BEGIN { printf "the summary adds: %+.1f %% instructions (goal: under 3 %%)\n", 100 * (a - b) / b }'
    exit 0
fi

median() { # numbers...
    printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}

bw=() bc=() aw=() ac=()
for ((r = 0; r < runs; r++)); do
    read -r w c < <(times_of "$before")
    bw+=("$w") bc+=("$c")
    read -r w c < <(times_of "$after")
    aw+=("$w") ac+=("$c")
done
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); runs of each: $runs"
printf '%-28s %10s %10s\n' "plain AC3 job (10 min)" "wall s" "CPU s"
printf '%-28s %10s %10s\n' "without the summary" "$(median "${bw[@]}")" "$(median "${bc[@]}")"
printf '%-28s %10s %10s\n' "with the summary" "$(median "${aw[@]}")" "$(median "${ac[@]}")"
awk -v bw="$(median "${bw[@]}")" -v aw="$(median "${aw[@]}")" \
    -v bc="$(median "${bc[@]}")" -v ac="$(median "${ac[@]}")" \
    'BEGIN { printf "the summary adds: %+.1f %% wall, %+.1f %% CPU (goal: under 3 %%)\n",
             100 * (aw - bw) / bw, 100 * (ac - bc) / bc }'
