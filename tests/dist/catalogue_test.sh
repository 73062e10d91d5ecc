#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every message besweet's sources give to text() has a translation in each catalogue, none
# fuzzy, each valid as a format; and besweet run in German says its refusal in German.
set -euo pipefail
besweet=$1 source=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

"$source/po/extract.sh" "$work/besweet.pot"
for language in $(grep -v '^#' "$source/po/LINGUAS"); do
    catalogue=$source/po/$language.po
    statistics=$(msgfmt --check --statistics -o /dev/null "$catalogue" 2>&1) ||
        { echo "$statistics"; echo "FAIL: msgfmt --check rejects $catalogue" >&2; exit 1; }
    echo "$language: $statistics"
    if grep -qE 'untranslated|fuzzy' <<<"$statistics"; then
        echo "FAIL: $catalogue has untranslated or fuzzy messages" >&2
        status=1
    fi
    # Untranslated and fuzzy messages count as missing here, so do messages new in the sources.
    msgcmp "$catalogue" "$work/besweet.pot" ||
        { echo "FAIL: $catalogue lacks the messages above (cmake --build build --target besweet_pot)" >&2; status=1; }
done

said=$(LANGUAGE=de LC_ALL=C.UTF-8 "$besweet" 2>&1 || true)
expected="besweet: keine Argumente; siehe 'besweet --help'"
if [ "$said" != "$expected" ]; then
    echo "FAIL: besweet in German says '$said', not '$expected'" >&2
    status=1
fi
exit $status
