#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The German manual pages are made only from a complete catalogue: each row changes a copy of
# the English pages or of the catalogue and says whether translate_manuals.sh must make the
# pages or refuse.
# Usage: manual_catalogue_test.sh <dist/linux>
set -euo pipefail
linux=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# what is changed | file | sed script | made or refused
cases='
nothing                                 | besweet.1     |                                                  | made
a new paragraph in an English page      | besweet.1     | /^\.SH EXIT STATUS/i .PP\nA paragraph new here.  | refused
a sentence changed in an English page   | Klangdorn_d.1 | s/^Show the version and exit\./Show it./         | refused
a heading changed in an English page    | besweet.1     | s/^\.SH EXAMPLES/.SH EXAMPLE/                    | refused
a translation marked fuzzy              | po/de.po      | /^msgid "Resample to 48000 Hz\."/i #, fuzzy      | refused
a translation emptied                   | po/de.po      | s/^msgstr "Auf 48000 Hz umrechnen\."/msgstr ""/  | refused
a fuzzy entry that no page uses         | po/de.po      | $a \\n#, fuzzy\nmsgid "Gone."\nmsgstr "Weg."     | refused
'

failed=0
while IFS='|' read -r what file script expected; do
    what=$(xargs <<<"$what") file=$(xargs <<<"$file") expected=$(xargs <<<"$expected")
    [ -n "$what" ] || continue
    script=${script# } script=${script%"${script##*[! ]}"}
    copy=$scratch/linux
    rm -rf "$copy" "$scratch/out"
    mkdir -p "$copy/po"
    cp "$linux"/po4a.cfg "$linux"/*.1 "$linux"/translate_manuals.sh "$copy/"
    cp "$linux"/po/*.po "$linux"/po/*.pot "$copy/po/"
    [ -z "$script" ] || sed -i "$script" "$copy/$file"
    if [ -n "$script" ] && cmp -s "$linux/$file" "$copy/$file"; then
        echo "FAIL: $what: the sed script changed nothing in $file" >&2
        failed=1
        continue
    fi
    if bash "$copy/translate_manuals.sh" "$copy" "$scratch/out" 2>"$scratch/said"; then
        got=made
        # Made means German pages, each paragraph in German.
        grep -q '^\.SH BESCHREIBUNG' "$scratch/out/de/besweet.1" &&
            grep -q '^Die Version zeigen und beenden\.' "$scratch/out/de/Klangdorn_d.1" || got=wrong
    else
        got=refused
        grep -q 'manuals_pot' "$scratch/said" || got="refused without saying what to run"
    fi
    if [ "$got" != "$expected" ]; then
        echo "FAIL: $what: expected $expected, got $got" >&2
        sed 's/^/    /' "$scratch/said" >&2
        failed=1
    fi
done <<<"$cases"
exit "$failed"
