#!/bin/sh
# Klangdorn_d --help, --version and a wrong argument, as a shell sees them.
program=$1
fail() { echo "program_arguments: $*" >&2; exit 1; }

out=$("$program" --help 2>/dev/null) || fail "--help ended with $?"
echo "$out" | head -n 1 | grep -q '^Aufruf: Klangdorn_d ' || fail "--help printed: $out"

out=$("$program" --version 2>/dev/null) || fail "--version ended with $?"
echo "$out" | grep -q '^Klangdorn_d [0-9]' || fail "--version printed: $out"

err=$("$program" --gibt-es-nicht 2>&1 >/dev/null)
status=$?
[ "$status" -eq 2 ] || fail "a wrong option ended with $status"
echo "$err" | grep -q '^Klangdorn_d: Unbekannte Option' || fail "a wrong option printed: $err"
exit 0
