#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that two besweet builds write the same: every material of the encoder overshoot
# benchmark through its ten encoders, plain and with -norm 0.50 and 0.95, and the jobs of
# bench/transcoder.sh (AC3, Layer II with -ssrc, both with -norm) on 30 s of 44.1 kHz pink
# noise. Each job is run by both builds with the same paths; the track, the exit code and
# what was said on standard error must be the same byte for byte. Prints one line a job that
# differs and a summary; fails when any differs.
#
#   bench/same_outputs.sh path/to/old/besweet path/to/new/besweet [path/to/bench_encoder_overshoot]
#
# The third program writes the materials (default build/bench_encoder_overshoot, built with
# -DKLANGDORN_BUILD_BENCH=ON). Environment: WORKDIR (scratch folder; default a new one under
# /tmp, removed at the end). Needs ffmpeg.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1")
new=$(realpath "$2")
maker=$(realpath "${3:-$here/build/bench_encoder_overshoot}")
for program in "$old" "$new" "$maker"; do
    [ -x "$program" ] || { echo "same_outputs.sh: no program at $program" >&2; exit 2; }
done
command -v ffmpeg >/dev/null || { echo "same_outputs.sh: needs ffmpeg" >&2; exit 2; }

# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
enter_workdir besweet-same

"$maker" --materials materials
make_pink_noise 30 pink.wav

encoders=(
    "ac3 -ac3enc( -b 192 )" "ac3 -ac3enc( -b 224 )" "ac3 -ac3enc( -b 256 )"
    "ac3 -ac3enc( -b 384 )" "ac3 -ac3enc( -b 448 )" "mpa -toolame( -m m -b 96 )"
    "mpa -toolame( -m j -b 192 )" "mpa -toolame( -m j -b 224 )" "mpa -toolame( -m s -b 256 )"
    "mpa -toolame( -m j -b 384 )"
)
# Jobs as "input extension sections...", split on blanks (no name holds one).
jobs=()
for input in materials/*.wav; do
    for encoder in "${encoders[@]}"; do
        extension=${encoder%% *}
        sections=${encoder#* }
        jobs+=("$input $extension $sections")
        jobs+=("$input $extension -ota( -norm 0.50 ) $sections")
        jobs+=("$input $extension -ota( -norm 0.95 ) $sections")
    done
done
jobs+=(
    "pink.wav ac3 -ac3enc( -b 192 )"
    "pink.wav mpa -ssrc( --rate 48000 ) -toolame( -m j -b 224 )"
    "pink.wav ac3 -ota( -norm 0.95 ) -ac3enc( -b 192 )"
    "pink.wav mpa -ota( -norm 0.95 ) -ssrc( --rate 48000 ) -toolame( -m j -b 224 )"
)

# Runs one build on a job; leaves the track in <label>.track and the exit code and standard
# error in <label>.said.
run() { # besweet label input extension sections...
    local besweet=$1 label=$2 input=$3 extension=$4
    shift 4
    local code=0
    rm -f "out.$extension"
    "$besweet" '-core(' -input "$input" -output "out.$extension" ')' "$@" >/dev/null \
        2>"$label.said" || code=$?
    echo "exit $code" >>"$label.said"
    if [ -f "out.$extension" ]; then mv "out.$extension" "$label.track"; else : >"$label.track"; fi
}

differ=0
for job in "${jobs[@]}"; do
    read -r -a words <<<"$job"
    run "$old" old "${words[@]}"
    run "$new" new "${words[@]}"
    if ! cmp -s old.track new.track || ! cmp -s old.said new.said; then
        echo "differs: $job"
        differ=$((differ + 1))
    fi
done
echo "${#jobs[@]} jobs, $differ with outputs that differ"
[ "$differ" -eq 0 ]
