#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Extracts besweet's messages into the template named on the command line: every format given
# to text() in transcoder/, in the order of the files.
set -euo pipefail
output=$1
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Klangdorn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
xgettext --language=C++ --from-code=UTF-8 --keyword= --keyword=text:1 --flag=text:1:c-format \
    --add-comments=TRANSLATORS: --sort-by-file --no-wrap --package-name=besweet \
    --package-version="$version" --msgid-bugs-address=https://github.com/klangdorn/Klangdorn/issues \
    --copyright-holder="The Klangdorn developers" -o "$output" \
    transcoder/*.cpp transcoder/*.h transcoder/{core,cli,input,level,encode,output}/*.{cpp,h}
