#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the translated manual pages from the English ones and the catalogues that po4a.cfg
# names, into OUT, and fails when a paragraph of an English page has no translation in its
# catalogue or only a fuzzy one, so that no page half in English is built or installed.
# Usage: translate_manuals.sh <folder of po4a.cfg> <OUT>
set -euo pipefail
source=$1 out=$2
config=$source/po4a.cfg

read -r -a languages <<<"$(sed -n 's/^\[po4a_langs\] *//p' "$config")"
# Each page's line reads "[type: man] MASTER $lang:TRANSLATION", TRANSLATION naming $lang.
mapfile -t translations < <(sed -n 's/^\[type: *man\] *[^ ]* *\$lang:\([^ ]*\).*/\1/p' "$config")
if [ ${#languages[@]} -eq 0 ] || [ ${#translations[@]} -eq 0 ]; then
    echo "$config names no language or no page" >&2
    exit 1
fi

update="cmake --build <build folder> --target manuals_pot"
lacking=0
for language in "${languages[@]}"; do
    catalogue=$source/po/$language.po
    # "N translated messages, M fuzzy translations, K untranslated messages."
    statistics=$(LC_ALL=C msgfmt --check --statistics -o /dev/null "$catalogue" 2>&1)
    if grep -qE 'fuzzy|untranslated' <<<"$statistics"; then
        echo "${catalogue#"$source"/}: $statistics" >&2
        lacking=1
    fi
    for translation in "${translations[@]}"; do rm -f "$out/${translation//\$lang/$language}"; done
done

mkdir -p "$out"
# po4a reads the catalogues as they are (--no-update) and writes only the pages whose every
# paragraph is translated (--keep 100 in po4a.cfg); it says "Discard" for the others.
(cd "$source" && po4a --no-update --destdir "$out" po4a.cfg) >&2

for language in "${languages[@]}"; do
    for translation in "${translations[@]}"; do
        if [ ! -s "$out/${translation//\$lang/$language}" ]; then
            echo "po/$language.po lacks a translation of a paragraph of ${translation//\$lang/$language}" >&2
            lacking=1
        fi
    done
done
if [ "$lacking" -ne 0 ]; then
    echo "When an English manual page changed, run '$update'; then translate every new or fuzzy" \
        "entry of dist/linux/po/<language>.po, remove its fuzzy mark and build again." >&2
    exit 1
fi
