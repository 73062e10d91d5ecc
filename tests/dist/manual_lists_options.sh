#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every option that `besweet --help` shows must appear in its manual page.
set -euo pipefail
besweet=$1 manual=$2

options=$("$besweet" --help | grep -oE '(^|[ [])--?[a-z][a-z0-9]*\(?' | sed 's/^[ []//' | sort -u)
[ -n "$options" ] || { echo "no options found in '$besweet --help'" >&2; exit 1; }
# The manual writes a minus as \-.
page=$(sed 's/\\-/-/g' "$manual")
missing=0
for option in $options; do
    if ! grep -qF -- "$option" <<<"$page"; then
        echo "$manual does not mention $option" >&2
        missing=1
    fi
done
exit $missing
