#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the fuzz targets' small seed corpus into seeds/ (kept in the repository, so fuzzing
# needs no ffmpeg): every input kind the transcoder reads, each with a few of the option bytes
# (see FuzzEntries.h), and a handful of command lines. Needs the ffmpeg command-line tool.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$here/seeds"
mkdir -p "$here/seeds/input" "$here/seeds/command-line"

# make NAME SECONDS LAYOUT RATE FFMPEG-OUTPUT-OPTIONS...: a short tone in the given format.
make() {
    local name=$1 seconds=$2 layout=$3 rate=$4
    shift 4
    ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=$seconds" \
        -af "aformat=channel_layouts=$layout" "$@" "$work/$name"
}

# seed KIND OPTION-BYTE-1 OPTION-BYTE-2 FILE: the two choosing bytes, then the file.
# Byte 1: bits 0-1 input kind (0 WAV, 1 MPEG audio, 2 AC3, 3 raw PCM), bits 2-3 target
# (Layer II, AC3 with -ac3enc(, WAV, AC3 by extension), bit 4 -ssrc, bit 5 -norm 0.9,
# bits 6-7 chunk frames (0, 1, 2, 0). Byte 2: bits 0-1 raw rate (32000, 44100, 48000, none),
# bits 2-3 Layer II mode (s, j, d, m), bit 4 AC3 at 448 kbps.
seed() {
    local name=$1 first=$2 second=$3 file=$4
    { printf "\\x$first\\x$second"; cat "$work/$file"; } >"$here/seeds/input/$name"
}

make s16.wav 0.05 stereo 44100 -c:a pcm_s16le
make u8.wav 0.2 mono 8000 -c:a pcm_u8
make f32.wav 0.01 5.1 48000 -c:a pcm_f32le
make s24.wav 0.02 stereo 96000 -c:a pcm_s24le
make layer2.mp2 0.2 stereo 48000 -c:a mp2 -b:a 192k
make mono.mp3 0.3 mono 22050 -c:a libmp3lame -b:a 32k
make surround.ac3 0.1 5.1 48000 -c:a ac3 -b:a 448k
make stereo.ac3 0.1 stereo 48000 -c:a ac3 -b:a 96k
make raw.pcm 0.02 stereo 48000 -f s16le -c:a pcm_s16le

seed wav-s16-to-layer2 00 04 s16.wav
seed wav-s16-norm-ssrc-to-ac3 34 00 s16.wav
seed wav-u8-ssrc-chunked-to-layer2-mono 50 0c u8.wav
seed wav-f32-surround-to-ac3-chunked 84 10 f32.wav
seed wav-s24-to-wav 08 00 s24.wav
seed layer2-to-ac3 45 00 layer2.mp2
seed layer2-norm-to-wav 29 00 layer2.mp2
seed mp3-ssrc-to-layer2-chunked 91 08 mono.mp3
seed ac3-surround-to-layer2 02 04 surround.ac3
seed ac3-surround-norm-to-ac3-chunked 66 10 surround.ac3
seed ac3-stereo-to-wav 0a 00 stereo.ac3
seed raw-48k-to-ac3 07 02 raw.pcm
seed raw-32k-ssrc-norm-to-layer2 33 00 raw.pcm

while IFS='|' read -r name line; do
    printf '%s' "$line" | tr ' ' '\n' >"$here/seeds/command-line/$name"
done <<'LINES'
plain|-core( -input in.wav -output out.ac3 )
everything|-core( -input in.wav -output out.mpa -logfile out.mpa.log ) -ota( -norm 0.95 -fs 44100 ) -ssrc( --rate 48000 ) -toolame( -m j -b 224 )
ac3|-core( -input in.mp2 -output out.ac3 ) -ac3enc( -b 448 )
mono|-core( -input in.pcm -output out.mpa ) -toolame( -m m -b 192 )
help|--help
LINES
ls -l "$here/seeds/input" "$here/seeds/command-line"
