#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Klangdorn_d --help, --version and a wrong argument, as a shell sees them.
program=$1
fail() { echo "program_arguments: $*" >&2; exit 1; }

# Help and version answer without any display, as on a server or in a package build.
headless() { env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$program" "$@"; }

out=$(headless --help 2>/dev/null) || fail "--help ended with $?"
echo "$out" | head -n 1 | grep -q '^Aufruf: Klangdorn_d ' || fail "--help printed: $out"

out=$(headless --version 2>/dev/null) || fail "--version ended with $?"
echo "$out" | grep -q '^Klangdorn_d [0-9]' || fail "--version printed: $out"

err=$("$program" --gibt-es-nicht 2>&1 >/dev/null)
status=$?
[ "$status" -eq 2 ] || fail "a wrong option ended with $status"
echo "$err" | grep -q '^Klangdorn_d: Unbekannte Option' || fail "a wrong option printed: $err"
[ "$(echo "$err" | grep -c "Unbekannte Option")" -eq 1 ] || fail "a wrong option was refused more than once: $err"
# A wrong option is refused as well without a display, Qt's own options left to Qt.
err=$(headless -platform xcb --hilfe 2>&1 >/dev/null)
status=$?
[ "$status" -eq 2 ] || fail "--hilfe without a display ended with $status: $err"
echo "$err" | grep -q '^Klangdorn_d: Unbekannte Option „hilfe“' || fail "--hilfe printed: $err"
# Without a display (none, or one nobody answers at) the window cannot open: one German line
# and exit code 2, never the toolkit's abort (134).
file=$(mktemp /tmp/program-arguments-XXXXXX.wav)
trap 'rm -f "$file"' EXIT
for display in "" :4711; do
    err=$(env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY="$display" "$program" "$file" 2>&1 >/dev/null)
    status=$?
    { [ "$status" -eq 2 ] && [ "$(echo "$err" | wc -l)" -eq 1 ] &&
        echo "$err" | grep -q '^Klangdorn_d: Keine grafische Oberfläche erreichbar'; } ||
        fail "display '$display' ended with $status: $err"
done
exit 0
