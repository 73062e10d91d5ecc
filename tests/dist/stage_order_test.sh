#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# stage_order.sh against a small transcoder folder of its own: each row puts one include line
# into one file and says whether the script must accept or refuse the tree.
# Usage: stage_order_test.sh <stage_order.sh>
set -euo pipefail
script=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# file | include line | accept or refuse
cases='
core/Decibels.h    | #include "core/Av.h"                        | accept
core/Decibels.h    | #include "Av.h"                             | accept
core/Decibels.h    | #include "./Av.h"                           | accept
core/Decibels.h    | #include "../core/Av.h"                     | accept
core/Decibels.h    | #include <cmath>                            | accept
core/Decibels.h    | #include <libavutil/frame.h>                | accept
core/Decibels.h    | #include "common/ProgressLine.h"            | accept
core/Decibels.h    | #include "../encode/Plan.h"                 | refuse
core/Decibels.h    | #include <level/Loudness.h>                 | refuse
core/Decibels.h    | #include "encode/Plan.h"                     | refuse
core/Decibels.h    |   #  include   "../level/Loudness.h"        | refuse
core/Decibels.h    | #include_next <encode/Plan.h>               | refuse
core/Decibels.h    | #include "../../transcoder/encode/Plan.h"   | refuse
core/Decibels.h    | #include "Transcoder.h"                     | refuse
core/Decibels.h    | #include PLAN_HEADER                        | refuse
core/Decibels.cpp  | #include "../cli/Options.h"                 | refuse
cli/Options.h      | #include "input/Input.h"                    | refuse
encode/Plan.h      | #include "../core/Av.h"                     | accept
encode/Plan.h      | #include <level/Loudness.h>                 | accept
encode/Plan.h      | #include "../fuzz/FuzzEntries.h"            | refuse
encode/Plan.h      | #include "output/OutputFile.h"              | refuse
output/OutputFile.h | #include "encode/Plan.h"                   | accept
output/OutputFile.h | #include "Transcoder.h"                    | refuse
input/watch/Watch.h | #include "../Input.h"                      | accept
input/watch/Watch.h | #include "../../encode/Plan.h"             | refuse
Transcoder.h       | #include "encode/Plan.h"                    | accept
main.cpp           | #include "Transcoder.h"                     | accept
main.cpp           | #include "fuzz/FuzzEntries.h"               | refuse
fuzz/FuzzEntries.h | #include "Transcoder.h"                     | accept
fuzz/FuzzEntries.h | #include "../input/Input.h"                 | accept
extra/Thing.h      | #include "core/Av.h"                        | refuse
'

# One header in each folder, and the order on its line in the README.
make_tree() {
    rm -rf "$scratch/transcoder"
    mkdir -p "$scratch/transcoder"
    cd "$scratch/transcoder"
    mkdir -p core cli output input/watch level encode fuzz
    touch core/Av.h core/Decibels.h cli/Options.h output/OutputFile.h input/Input.h \
        input/watch/Watch.h level/Loudness.h encode/Plan.h fuzz/FuzzEntries.h Transcoder.h main.cpp
    printf '# besweet\n\n    core < cli < input < level < encode < output < top < fuzz\n' >README.md
    cd - >/dev/null
}

failed=0
make_tree
if ! bash "$script" "$scratch/transcoder" 2>/dev/null; then
    echo "FAIL: a tree without includes is refused" >&2
    failed=1
fi
while IFS='|' read -r file line expected; do
    file=$(xargs <<<"$file") expected=$(xargs <<<"$expected")
    [ -n "$file" ] || continue
    line=${line# } line=${line%"${line##*[! ]}"}
    make_tree
    mkdir -p "$(dirname "$scratch/transcoder/$file")"
    printf '%s\n' "$line" >"$scratch/transcoder/$file"
    if bash "$script" "$scratch/transcoder" 2>/dev/null; then got=accept; else got=refuse; fi
    if [ "$got" != "$expected" ]; then
        echo "FAIL: $file with '$line': expected $expected, got $got" >&2
        failed=1
    fi
done <<<"$cases"

# Without its order line the script cannot check anything and says so.
make_tree
sed -i '/</d' "$scratch/transcoder/README.md"
if bash "$script" "$scratch/transcoder" 2>/dev/null; then
    echo "FAIL: a README without the order line is accepted" >&2
    failed=1
fi
exit "$failed"
