#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How soon besweet shows its first progress line on a long recording, and how long the channel
# pre-scan of a large TS file takes: a TS file of PARTS hours joined with cat (default 24, about
# 4.7 GB), and 13 hours of TS given through a pipe. The files are removed at the end.
#
#   bench/first_progress.sh [path/to/besweet]
#
# Environment: WORKDIR (scratch folder; default a new one under /tmp), PARTS.
# Goal: the first progress line within a second of the start.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
besweet=$(realpath "${1:-$here/build/besweet}")
parts=${PARTS:-24}
work=${WORKDIR:-$(mktemp -d /tmp/first_progress.XXXXXX)}
trap 'rm -rf "$work"' EXIT
command -v ffmpeg >/dev/null || { echo "first_progress.sh: needs ffmpeg" >&2; exit 2; }

# Prints each line of standard input after the seconds since $1 (date +%s.%N).
stamped() {
    while IFS= read -r line; do
        printf '%8.3f %s\n' "$(echo "$(date +%s.%N) - $1" | bc)" "$line"
    done
}

# Runs besweet on $1 until its encoding pass has begun, then stops it; shows the lines before.
until_encoding() {
    local lines="$work/lines" start
    : >"$lines"
    start=$(date +%s.%N)
    "$besweet" -core\( -input "$1" -output "$work/out.ac3" \) > >(stamped "$start" >"$lines") &
    local pid=$!
    until grep -qE 'Pass ([0-9]+)/\1: encoding' "$lines"; do sleep 0.2; done
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    grep -E ' (0|100)%$' "$lines"
}

hour="$work/hour.ts"
ffmpeg -v error -f lavfi -i "sine=f=440:d=3600:sample_rate=48000" -ac 2 -c:a mp2 -b:a 384k \
    -f mpegts "$hour"
for _ in $(seq "$parts"); do cat "$hour"; done >"$work/long.ts"
rm "$hour"
echo "== $(du -h "$work/long.ts" | cut -f1) TS file, $parts parts joined"
until_encoding "$work/long.ts"
rm -f "$work/long.ts"

echo "== 13 hours of TS through a pipe"
mkfifo "$work/pipe.ts"
ffmpeg -v error -f lavfi -i "sine=f=440:d=46800:sample_rate=48000" -ac 2 -c:a mp2 -b:a 192k \
    -f mpegts - >"$work/pipe.ts" 2>/dev/null &
source=$!
until_encoding "$work/pipe.ts"
kill "$source" 2>/dev/null || true
wait "$source" 2>/dev/null || true
