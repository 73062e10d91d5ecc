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
# bits 2-3 Layer II mode (s, j, d, m), bit 4 AC3 at 448 kbps, bits 5-7 the input's name (the
# kind's, in.ts, in.vob, in.mkv, in.mp4, in.caf, in.aac, in.dts: 00, 20, 40, 60, 80, a0, c0, e0).
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
# Every container and codec besweet reads, a few KB each.
make mp2.ts 0.25 stereo 48000 -c:a mp2 -b:a 128k -f mpegts
make ac3.ts 0.2 stereo 48000 -c:a ac3 -b:a 96k -f mpegts
make ac3.vob 0.25 stereo 48000 -c:a ac3 -b:a 96k -f vob
make mp2.vob 0.25 mono 48000 -c:a mp2 -b:a 64k -f vob
make ac3.mkv 0.25 stereo 48000 -c:a ac3 -b:a 96k -f matroska
make opus.mkv 0.3 stereo 48000 -c:a libopus -b:a 48k -f matroska
make aac.mp4 0.3 stereo 44100 -c:a aac -b:a 96k -f mp4
make s16.caf 0.03 stereo 44100 -c:a pcm_s16le -f caf
make s16.aiff 0.03 stereo 44100 -c:a pcm_s16be -f aiff
make s16.w64 0.03 stereo 48000 -c:a pcm_s16le -f w64
make s16.rf64 0.03 stereo 48000 -c:a pcm_s16le -rf64 always -f wav
make mono.flac 0.2 mono 44100 -c:a flac -f flac
make aac.adts 0.3 stereo 48000 -c:a aac -b:a 64k -f adts
make surround.eac3 0.1 5.1 48000 -c:a eac3 -b:a 192k -f eac3
make stereo.dts 0.08 stereo 48000 -strict -2 -c:a dca -b:a 768k -f dts
make mono.opus 0.3 mono 48000 -c:a libopus -b:a 24k -f ogg
# As recordings come: two joined with cat (the stamps start again), and a run of zeros where the
# signal was lost (between TS packets, and in the middle of one).
cat "$work/mp2.ts" "$work/mp2.ts" >"$work/joined.ts"
cat "$work/ac3.vob" "$work/ac3.vob" >"$work/joined.vob"
{ head -c $((188 * 12)) "$work/mp2.ts"; head -c 3000 /dev/zero; tail -c +$((188 * 12 + 1)) "$work/mp2.ts"; } >"$work/zeros.ts"
{ head -c 4000 "$work/ac3.mkv"; head -c 1000 /dev/zero; tail -c +4001 "$work/ac3.mkv"; } >"$work/zeros.mkv"

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
seed ts-mp2-to-ac3 00 20 mp2.ts
seed ts-ac3-norm-to-layer2-chunked 60 20 ac3.ts
seed vob-ac3-to-wav 08 40 ac3.vob
seed vob-mp2-mono-to-ac3 00 40 mp2.vob
seed mkv-ac3-to-layer2 00 60 ac3.mkv
seed mkv-opus-to-ac3-chunked 80 60 opus.mkv
seed mp4-aac-ssrc-to-ac3 10 80 aac.mp4
seed caf-s16-to-wav 08 a0 s16.caf
seed aiff-s16-ssrc-to-layer2 10 00 s16.aiff
seed w64-s16-to-ac3 00 00 s16.w64
seed rf64-s16-norm-to-wav 28 00 s16.rf64
seed flac-mono-ssrc-to-layer2 10 0c mono.flac
seed aac-adts-to-ac3 00 c0 aac.adts
seed eac3-surround-to-ac3 02 10 surround.eac3
seed dts-stereo-to-layer2 00 e0 stereo.dts
seed opus-mono-to-wav 08 00 mono.opus
seed ts-joined-to-ac3 00 20 joined.ts
seed vob-joined-to-layer2-chunked 40 40 joined.vob
seed ts-zeros-to-wav 08 20 zeros.ts
seed mkv-zeros-to-ac3 00 60 zeros.mkv

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
