#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the transcoder's libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-fuzz/) and runs each for SECONDS, both at once, one
# process each, starting from the seeds in transcoder/fuzz/seeds/.
#
#   tools/fuzz.sh SECONDS [TARGET...]        (targets: fuzz_input fuzz_command_line)
#
# Environment: FUZZ_BUILD (build folder, default build-fuzz), FUZZ_WORK (where the growing
# corpus, the logs and any crash inputs go; default $FUZZ_BUILD/runs).
# fuzz_input also checks each track's length against a plain decode of its input (a wrong one
# aborts, "fuzz: the output holds ..."), and mutates time stamps, joins and zero runs besides bytes.
# A crash input lands in FUZZ_WORK/TARGET/ as crash-*, leak-* or timeout-*: copy it into
# tests/transcoder/fuzz-regressions/<input|command-line>/ so the test suite runs it for ever.
# FUZZ_KEEP_GOING=1: go on after a find (libFuzzer's fork mode, one worker), for measurements;
# the last "#N ... crash/timeout/oom" lines of each log count what was found.
# Exit status: 0 when no target found anything, 1 otherwise.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: tools/fuzz.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_input fuzz_command_line)
build=${FUZZ_BUILD:-$here/build-fuzz}
work=${FUZZ_WORK:-$build/runs}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DKLANGDORN_FUZZ=ON -DKLANGDORN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

seeds_of() {
    case $1 in
    fuzz_input) echo "$here/transcoder/fuzz/seeds/input" ;;
    fuzz_command_line) echo "$here/transcoder/fuzz/seeds/command-line" ;;
    esac
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
keep_going=()
[ "${FUZZ_KEEP_GOING:-0}" = 1 ] &&
    keep_going=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
pids=()
for target in "${targets[@]}"; do
    mkdir -p "$work/$target/corpus"
    # -rss_limit_mb: a real input of the first seconds never needs more; more is a fault.
    (cd "$work/$target" &&
        "$build/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=16384 \
            -print_final_stats=1 -artifact_prefix="$work/$target/" "${keep_going[@]}" \
            corpus "$(seeds_of "$target")" >"$work/$target/log" 2>&1) &
    pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
    if ! wait "${pids[$i]}"; then
        status=1
        echo "fuzz.sh: ${targets[$i]} found a fault; see $work/${targets[$i]}/log" >&2
    fi
    # In fork mode the fuzzer ends well after a find: its artifacts tell.
    if compgen -G "$work/${targets[$i]}/[a-z]*-[0-9a-f]*" >/dev/null; then
        status=1
        echo "fuzz.sh: ${targets[$i]}: $(cd "$work/${targets[$i]}" && ls -d [a-z]*-[0-9a-f]* | tr '\n' ' ')" >&2
    fi
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^(==[0-9]+==)?ERROR|SUMMARY|^#[0-9]+: .*crash' \
        "$work/${targets[$i]}/log" | sed "s|^|${targets[$i]}: |" || true
done
exit $status
