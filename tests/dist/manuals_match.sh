#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A translated manual keeps up with the English one paragraph by paragraph: the page is made
# from the catalogue, so each entry's translation must name what its English names in bold
# (commands, options, values, variables) and every file name and ending set in italics; the
# placeholders in italics (FILE, MODE) may be translated.
# Usage: manuals_match.sh <catalogue of the manual pages>
set -euo pipefail
catalogue=$1

# One line per entry and side: "id<TAB>text" or "str<TAB>text", the strings joined.
entries() {
    msgcat --no-wrap --no-location "$catalogue" | awk '
        function flush() { if (side != "") print side "\t" text; side = "" }
        /^msgid "/ { flush(); side = "id"; text = substr($0, 8, length($0) - 8); next }
        /^msgstr "/ { flush(); side = "str"; text = substr($0, 9, length($0) - 9); next }
        /^"/ { text = text substr($0, 2, length($0) - 2); next }
        { flush() }
        END { flush() }'
}

# The marks a side must keep, sorted: every B<...> word, and every I<...> word that is a file
# name or an ending (starts with ".", "$" or "~").
marks() {
    grep -oE '[BI]<[^>]*>' <<<"$1" | awk '{
        kind = substr($0, 1, 1); inner = substr($0, 3, length($0) - 3)
        n = split(inner, words, " ")
        for (i = 1; i <= n; i++)
            if (kind == "B" || words[i] ~ /^[.$~]/) print kind " " words[i]
    }' | sort
}

mismatched=0
english=
while IFS=$'\t' read -r side text; do
    if [ "$side" = id ]; then
        english=$text
    elif [ -n "$english" ] && [ -n "$text" ]; then
        if ! difference=$(diff <(marks "$english") <(marks "$text")); then
            printf '%s: the translation of\n  %s\ndoes not keep (< English, > translated):\n%s\n' \
                "$catalogue" "$english" "$difference" >&2
            mismatched=1
        fi
    fi
done < <(entries)
exit "$mismatched"
