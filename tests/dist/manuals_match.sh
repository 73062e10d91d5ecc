#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A translated manual page keeps up with the English one: the same sections, the same entries
# and paragraphs in each, and the same options, file names and endings in each section.
set -euo pipefail
english=$1 translated=$2

structure() {
    awk '/^\.SH/ { section++; print "section " section; next }
         /^\.(TP|PP)/ { print section ": " $1; next }
         /^\.(I|IR|IB|B|BR|BI) / {
             for (i = 2; i <= NF; i++)
                 if ($i ~ /^(\\-|\.[a-z]|\$)/) print section ": " $i
         }' "$1"
}

if ! diff <(structure "$english") <(structure "$translated"); then
    echo "$translated is not level with $english (< English, > translated)" >&2
    exit 1
fi
