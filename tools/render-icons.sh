#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the program's SVG icon into the PNG sizes that are installed and built into the
# program. Run it after changing the SVG and commit the PNGs (needs rsvg-convert, librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../dist/icons"
for size in 16 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "png/$size.png" io.github.klangdorn.Klangdorn.svg
done
