#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The transcoder's folders include only their own folder and those below it, in the order that
# transcoder/README.md gives on its line "core < cli < ... < top < fuzz" (top: the files at the
# top of the folder). Every include is read, quoted or angled, by folder or relative, as the
# compiler finds it; the script prints every include that reaches upwards, every folder the
# order leaves out and every include it cannot read, and fails when there is one.
# Usage: stage_order.sh <transcoder folder>
set -euo pipefail
root=$(cd "$1" && pwd -P)
order=$(grep -E '^ *[a-z]+( < [a-z]+)+ *$' "$root/README.md" | head -n 1 | tr -d ' ' | tr '<' ' ')
if [ -z "$order" ]; then
    echo "$root/README.md gives no order of the folders (a line \"core < cli < ...\")" >&2
    exit 1
fi
read -r -a stages <<<"$order"
declare -A rank
for i in "${!stages[@]}"; do rank[${stages[$i]}]=$i; done

# The path with "." and ".." taken out, as the file system resolves it.
normalise() {
    local parts part kept=()
    IFS=/ read -r -a parts <<<"$1"
    for part in "${parts[@]}"; do
        case $part in
            '' | .) ;;
            ..) [ ${#kept[@]} -eq 0 ] || unset 'kept[-1]' ;;
            *) kept+=("$part") ;;
        esac
    done
    local IFS=/
    echo "/${kept[*]}"
}

# The stage a path below the transcoder belongs to: its first folder, or top for a file at the
# top; nothing for a path outside (the C++ library, FFmpeg, src/common).
stage_of() {
    local inside=${1#"$root"/}
    if [ "$inside" = "$1" ]; then
        return
    elif [[ $inside == */* ]]; then
        local folder=${inside%%/*}
        if [ -n "${rank[$folder]+set}" ] || [ -d "$root/$folder" ]; then echo "$folder"; fi
    elif [ -e "$1" ]; then
        echo top
    fi
}

# Where the compiler finds the include: a quoted name beside the including file first, then,
# as an angled name, below the transcoder's folder (its only include folder of its own).
resolve() {
    local folder=$1 form=$2 name=$3
    if [ "$form" = '"' ] && { [[ $name == ./* || $name == ../* ]] || [ -e "$folder/$name" ]; }; then
        normalise "$folder/$name"
    else
        normalise "$root/$name"
    fi
}

refused=0
refuse() {
    echo "$1" >&2
    refused=1
}

while IFS= read -r -d '' file; do
    where=${file#"$root"/}
    from=$(stage_of "$file")
    if [ -z "${rank[$from]+set}" ]; then
        refuse "$where: $from is not in the order of $root/README.md"
        continue
    fi
    while IFS= read -r line; do
        number=${line%%:*} text=${line#*:}
        [[ $text =~ ^[[:space:]]*#[[:space:]]*include(_next)?[[:space:]]*(.*)$ ]]
        directive=${BASH_REMATCH[2]}
        case ${directive:0:1} in
            '"') name=${directive:1} name=${name%%\"*} form='"' ;;
            '<') name=${directive:1} name=${name%%>*} form='<' ;;
            *)
                refuse "$where:$number: cannot tell which file '$text' includes"
                continue
                ;;
        esac
        to=$(stage_of "$(resolve "${file%/*}" "$form" "$name")")
        [ -n "$to" ] || continue
        if [ -z "${rank[$to]+set}" ]; then
            refuse "$where:$number includes $name, in $to, which is not in the order"
        elif [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
            refuse "$where:$number includes $name, in $to, which lies above $from"
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find "$root" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' \
    -o -name '*.cpp' -o -name '*.cxx' -o -name '*.inc' \) -print0 | sort -z)
exit "$refused"
