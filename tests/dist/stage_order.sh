#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The transcoder's folders include only their own folder and those below it, in the order that
# transcoder/README.md gives on its line "core < cli < ...": prints every include that reaches
# upwards (a folder above, or the files at the top) and fails when there is one.
# Usage: stage_order.sh <transcoder folder>
set -euo pipefail
root=$1
order=$(grep -E '^ *[a-z]+( < [a-z]+)+ *$' "$root/README.md" | head -n 1 | tr -d ' ' | tr '<' ' ')
if [ -z "$order" ]; then
    echo "$root/README.md gives no order of the folders (a line \"core < cli < ...\")" >&2
    exit 1
fi
read -r -a folders <<<"$order"
declare -A rank
for i in "${!folders[@]}"; do rank[${folders[$i]}]=$i; done

upward=0
for folder in "${folders[@]}"; do
    for file in "$root/$folder"/*.h "$root/$folder"/*.cpp; do
        [ -e "$file" ] || continue
        while IFS= read -r line; do
            number=${line%%:*}
            target=$(sed -E 's/^[^"]*"([^"]+)".*/\1/' <<<"${line#*:}")
            if [[ $target == */* ]]; then
                to=${target%%/*}
                [ -n "${rank[$to]+set}" ] || continue # not a folder of the transcoder
                [ "${rank[$to]}" -le "${rank[$folder]}" ] && continue
            elif [ ! -e "$root/$target" ]; then
                continue
            fi
            echo "${file#"$root"/}:$number includes $target, which lies above $folder" >&2
            upward=1
        done < <(grep -n '^#include "' "$file" || true)
    done
done
exit "$upward"
