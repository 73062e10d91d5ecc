#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence's SPDX line at the top of every tracked source file that lacks it, in the
# comment form of the file's language; with --check it only lists the files that lack it and
# fails when there are any. Running it twice changes nothing the second time.
set -euo pipefail
cd "$(dirname "$0")/.."

readonly licence="SPDX-License-Identifier: GPL-3.0-or-later"
check_only=false
[ "${1:-}" = "--check" ] && check_only=true

# The comment that carries the line in a file of this name, or nothing when the file is not
# source (images, the licence text itself, the README, tool settings).
comment_for() {
    local file=$1
    case "$file" in
        *.cpp | *.h | *.hpp | *.c) echo "// $licence" ;;
        CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh | *.desktop) echo "# $licence" ;;
        *.xml | *.svg) echo "<!-- $licence -->" ;;
        *.1) echo ".\\\" $licence" ;;
        *)
            # Scripts without an extension, such as .ci/run, are known by their first line.
            if head -n 1 "$file" | grep -qE '^#!.*\b(ba)?sh\b'; then
                echo "# $licence"
            fi
            ;;
    esac
}

tracked_files() {
    if git -c safe.directory="$PWD" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git -c safe.directory="$PWD" ls-files
    else
        find . -path ./build -prune -o -path ./.git -prune -o -type f -print | sed 's|^\./||'
    fi
}

# After a shebang or an XML declaration, else on the first line.
add_line() {
    local file=$1 comment=$2
    local first
    first=$(head -n 1 "$file")
    if [[ "$first" == '#!'* || "$first" == '<?xml'* ]]; then
        sed -i "1a\\
$comment" "$file"
    else
        sed -i "1i\\
$comment" "$file"
    fi
}

lacking=0
while IFS= read -r file; do
    [ -f "$file" ] || continue
    comment=$(comment_for "$file")
    [ -n "$comment" ] || continue
    head -n 3 "$file" | grep -qF "$licence" && continue
    if $check_only; then
        echo "lacks the SPDX line: $file"
        lacking=$((lacking + 1))
    else
        add_line "$file" "$comment"
        echo "added: $file"
    fi
done < <(tracked_files)

if $check_only && [ "$lacking" -gt 0 ]; then
    echo "$lacking file(s) lack '$licence'; tools/spdx.sh adds it" >&2
    exit 1
fi
exit 0
