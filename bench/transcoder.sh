#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times besweet against the ffmpeg command-line tool on the same jobs and the same input
# (10 minutes of 44.1 kHz stereo), and measures besweet's peak memory on 10 and 60 minutes.
#
#   bench/transcoder.sh [path/to/besweet]      (default: build/besweet)
#
# Environment: RUNS (repeats per command, besweet and ffmpeg by turns, medians taken; default 3), WORKDIR (scratch folder;
# default a new one under /tmp, removed at the end), LONG_MINUTES (default 60).
# Needs ffmpeg (installed with apt-get when missing and run as root) and /usr/bin/time.
# Goals: besweet/ffmpeg at most 0.55 plain and 0.65 normalised (normalised, besweet decodes its
# track to measure its peak and may encode again, which ffmpeg's jobs do not); peak memory under
# 64 MB and not growing with the input's length. bench/transcoder_count.sh counts instructions
# instead, for a shared machine.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
besweet=$(realpath "${1:-$here/build/besweet}")
runs=${RUNS:-3}
long_minutes=${LONG_MINUTES:-60}

[ -x "$besweet" ] || { echo "transcoder.sh: no besweet at $besweet; build it first" >&2; exit 2; }
if ! command -v ffmpeg >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ffmpeg
    else
        echo "transcoder.sh: needs ffmpeg (apt-get install ffmpeg)" >&2
        exit 2
    fi
fi
[ -x /usr/bin/time ] || { echo "transcoder.sh: needs /usr/bin/time (apt-get install time)" >&2; exit 2; }

# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
enter_workdir besweet-bench

make_input() { # minutes file
    make_pink_noise $(($1 * 60)) "$2"
}

# ffmpeg's way to normalise the peak: volumedetect, then volume. Written as a script so each
# tool is timed as one command.
cat >ffmpeg-norm.sh <<'EOF'
#!/usr/bin/env bash
# ffmpeg-norm.sh IN OUT LEVEL_DB [ffmpeg output options...]
set -euo pipefail
in=$1 out=$2 level=$3
shift 3
max=$(ffmpeg -hide_banner -nostats -i "$in" -af volumedetect -f null - 2>&1 |
    sed -n 's/.*max_volume: \(-\?[0-9.]*\) dB.*/\1/p')
gain=$(awk -v l="$level" -v m="$max" 'BEGIN { printf "%.3f", l - m }')
filters="volume=${gain}dB"
args=()
while [ $# -gt 0 ]; do
    if [ "$1" = "-af" ]; then filters="$filters,$2"; shift 2; else args+=("$1"); shift; fi
done
ffmpeg -v error -y -i "$in" -af "$filters" "${args[@]}" "$out"
EOF
chmod +x ffmpeg-norm.sh
level_db=$(awk 'BEGIN { printf "%.3f", 20 * log(0.95) / log(10) }')


besweet_command() { # job input output
    # A string for eval: the parentheses quoted.
    local sections
    read -ra sections <<<"${besweet_sections[$1]}"
    echo "$besweet '-core(' -input $2 -output $3 ')'$(printf " '%s'" "${sections[@]}")"
}
ffmpeg_command() { # job input output
    if [[ ${job_names[$1]} == *_norm ]]; then
        echo "./ffmpeg-norm.sh $2 $3 $level_db ${ffmpeg_options[$1]}"
    else
        echo "ffmpeg -v error -y -i $2 ${ffmpeg_options[$1]} $3"
    fi
}

# Wall time of one run of a command, in seconds.
seconds_of() { # command
    local start end
    start=$(date +%s.%N)
    eval "$1" >/dev/null
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}

median() { # numbers...
    printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}

# besweet and ffmpeg run by turns, so a shared host that slows down or speeds up weighs on both
# alike: prints the median time of each and the median of the runs' ratios.
paired_seconds() { # besweet-command ffmpeg-command
    local b_times=() f_times=() ratios=() b f
    for ((r = 0; r < runs; r++)); do
        b=$(seconds_of "$1")
        f=$(seconds_of "$2")
        b_times+=("$b")
        f_times+=("$f")
        ratios+=("$(awk -v b="$b" -v f="$f" 'BEGIN { printf "%.3f", b / f }')")
    done
    echo "$(median "${b_times[@]}") $(median "${f_times[@]}") $(median "${ratios[@]}")"
}

max_rss_mb() { # command
    eval "/usr/bin/time -v -o time.txt $1" >/dev/null
    awk -F: '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' time.txt
}

echo "Generating inputs in $WORKDIR ..."
make_input 10 in10.wav
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); runs per command: $runs"
echo "besweet: $("$besweet" --version); ffmpeg: $(ffmpeg -version | head -1 | cut -d' ' -f3)"
echo
printf '%-26s %10s %10s %8s %8s\n' "job (10 min input)" "besweet s" "ffmpeg s" "ratio" "goal"
echo "(medians of $runs runs, besweet and ffmpeg by turns; ratio: the median of the runs' ratios)"
for i in "${!job_names[@]}"; do
    read -r b f ratio < <(paired_seconds "$(besweet_command "$i" in10.wav "b.${extensions[$i]}")" \
        "$(ffmpeg_command "$i" in10.wav "f.${extensions[$i]}")")
    goal="<= 0.55"
    [[ ${job_names[$i]} == *_norm ]] && goal="<= 0.65"
    printf '%-26s %10s %10s %8.2f %8s\n' "${job_names[$i]}" "$b" "$f" "$ratio" "$goal"
done

echo
make_input "$long_minutes" "in${long_minutes}.wav"
printf '%-26s %12s %12s\n' "besweet peak memory (MB)" "10 min" "$long_minutes min"
for i in "${!job_names[@]}"; do
    short=$(max_rss_mb "$(besweet_command "$i" in10.wav "b.${extensions[$i]}")")
    long=$(max_rss_mb "$(besweet_command "$i" "in${long_minutes}.wav" "b.${extensions[$i]}")")
    printf '%-26s %12s %12s\n' "${job_names[$i]}" "$short" "$long"
done
