#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the window's start (exec to the frame mapped) against two Qt main windows of the same
# size: one that shows a label and a button (the least a window with words does: fontconfig,
# Qt's font database, two fonts), the fair yardstick, and an empty one; run by turns, on a
# virtual X server with a window manager of its own.
#
#   bench/window_start.sh [build folder]      (default: build, configured with
#                                              -DKLANGDORN_BUILD_BENCH=ON and built)
#
# Environment: MEASURE (time: the clock and processor time of rounds run by turns, the
# default; instructions: each program once under callgrind, the instructions every thread
# ran from exec until the window is mapped, free of the noise of a shared machine), RUNS
# (rounds; default 15), BUS (private: a dbus-daemon of its own, as a desktop
# session has; silent: a socket that accepts and never answers; none: no bus; default
# private), DISPLAY_NUMBER (default 77), PROGRAM (the window program to time; default
# the build's Klangdorn_d).
# Needs Xvfb and openbox (apt-get install xvfb openbox; installed when missing and run as root).
# Goal: the window's first frame no later than the window with words (ratio 1.00 or less). On
# a busy machine the processor time each used until its window was mapped is the steadier of
# the two measures.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$here/build}")
runs=${RUNS:-15}
bus=${BUS:-private}
display=:${DISPLAY_NUMBER:-77}
program=${PROGRAM:-$build/Klangdorn_d}
bare=$build/bench_bare_window
timer=$build/bench_window_start

for file in "$program" "$bare" "$timer"; do
    [ -x "$file" ] || { echo "window_start.sh: $file is missing; build with -DKLANGDORN_BUILD_BENCH=ON" >&2; exit 2; }
done
if ! command -v Xvfb >/dev/null || ! command -v openbox >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends xvfb openbox
    else
        echo "window_start.sh: needs Xvfb and openbox (apt-get install xvfb openbox)" >&2
        exit 2
    fi
fi

work=$(mktemp -d /tmp/window-start-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done 2>/dev/null || sleep 2
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p -m 700 "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
case $bus in
private)
    dbus-daemon --session --nofork --print-address=3 3>"$work/bus" &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$work/bus" ] && break; sleep 0.1; done
    export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
    ;;
silent)
    python3 -c '
import socket, sys
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(64)
held = []
while True: held.append(s.accept()[0])' "$work/silent" &
    pids+=($!)
    for _ in $(seq 50); do [ -S "$work/silent" ] && break; sleep 0.1; done
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/silent
    ;;
none)
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
    ;;
*) echo "window_start.sh: BUS is private, silent or none" >&2; exit 2 ;;
esac

# The window's size with its frame left out: the empty window gets the same.
"$program" >"$work/first.log" 2>&1 &
first=$!
for _ in $(seq 100); do
    id=$(xdotool search --name '^Klangdorn \[Besweet\]$' 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && break
    sleep 0.1
done
size=$(xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
kill "$first"; wait "$first" 2>/dev/null || true
echo "window size: $size; bus: $bus"

# The instructions each thread ran until the program first maps a window, counted by
# callgrind ("main" is the window's thread; threads still running at the map are counted to
# that point, the others to their end).
instructions() {
    local name=$1
    shift
    "$timer" valgrind --tool=callgrind --separate-threads=yes --dump-before=xcb_map_window \
        --callgrind-out-file="$work/cg.$name.%p" "$@" >/dev/null 2>>"$work/stderr" || true
    local total=0 file count
    for file in "$work"/cg."$name".*-[0-9]*; do
        count=$(awk '/^(summary|totals):/ {print $2; exit}' "$file")
        case $file in
        *.1-01) echo "  $name main thread: $count" >&2; echo "$count" >"$work/$name.main" ;;
        *-01) continue ;; # the window's thread after the map
        esac
        total=$((total + count))
    done
    echo "  $name all threads: $total" >&2
    echo "$total" >"$work/$name.total"
}
# The yardsticks, with the window's size. Qt alone would wait on a silent bus without end:
# there they run without one.
yardstick_bus=()
[ "$bus" = silent ] && yardstick_bus=(env DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus")
# shellcheck disable=SC2206
words=("${yardstick_bus[@]}" "$bare" --words $size)
# shellcheck disable=SC2206
empty=("${yardstick_bus[@]}" "$bare" $size)

if [ "${MEASURE:-time}" = instructions ]; then
    command -v valgrind >/dev/null || { echo "window_start.sh: needs valgrind" >&2; exit 2; }
    echo "instructions from exec to mapped:"
    instructions window "$program" 2>&1
    instructions words "${words[@]}" 2>&1
    instructions empty "${empty[@]}" 2>&1
    for part in main total; do
        for yardstick in words empty; do
            awk -v w="$(cat "$work/window.$part")" -v b="$(cat "$work/$yardstick.$part")" \
                -v p="$part" -v y="$yardstick" \
                'BEGIN {printf "  ratio to %s (%s): %.2f\n", y == "words" ? "the window with words" : "the empty window", p == "main" ? "window thread" : "all threads", w / b}'
        done
    done
    exit 0
fi

echo "rounds: $runs (each: the window, the window with words, the empty window, by turns)"
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
run_one() { # name
    case $1 in
    window) "$timer" "$program" >>"$work/window" 2>>"$work/stderr" ;;
    words) "$timer" "${words[@]}" >>"$work/words" 2>>"$work/stderr" ;;
    empty) "$timer" "${empty[@]}" >>"$work/empty" 2>>"$work/stderr" ;;
    esac
}
orders=("window words empty" "words empty window" "empty window words")
for i in $(seq "$runs"); do
    for name in ${orders[$((i % 3))]}; do run_one "$name"; done
done
# Each line: milliseconds from exec to the map, and the processor time used by then.
for column in 1 2; do
    what=$([ $column = 1 ] && echo "exec to mapped" || echo "processor time until mapped")
    echo "$what:"
    for name in window words empty; do
        values=$(cut -d' ' -f$column "$work/$name")
        printf '  %-7s median %s ms (runs: %s)\n' "$name:" "$(echo "$values" | median)" \
            "$(echo "$values" | tr '\n' ' ')"
    done
    window_ms=$(cut -d' ' -f$column "$work/window" | median)
    for yardstick in words empty; do
        awk -v w="$window_ms" -v b="$(cut -d' ' -f$column "$work/$yardstick" | median)" -v y="$yardstick" \
            'BEGIN {printf "  ratio to %s: %.2f%s\n", y == "words" ? "the window with words" : "the empty window", w / b, y == "words" ? " (goal 1.00)" : ""}'
    done
done
