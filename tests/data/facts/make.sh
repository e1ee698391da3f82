#!/usr/bin/env bash
# Samples of each stream's own facts: covers (ID3v2, FLAC, MP4, Matroska
# attachment), tracks timed by an edit list or only by their last blocks,
# AAC in FLV whose tag flags say otherwise than its AudioSpecificConfig.
# The outputs and expected.txt (what ffprobe says) are committed.
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
A="-f lavfi -i sine=frequency=440:sample_rate=44100"

ff -f lavfi -i testsrc=size=70x50:rate=1 -frames:v 1 -q:v 8 "$tmp/cover.jpg"
ff -f lavfi -i testsrc=size=60x40:rate=1 -frames:v 1 "$tmp/cover.png"
ff $A -i "$tmp/cover.jpg" -map 0 -map 1 -t 0.5 -c:a libmp3lame -b:a 32k -c:v copy -id3v2_version 3 \
   -disposition:v attached_pic mp3_cover.mp3
ff $A -i "$tmp/cover.png" -map 0 -map 1 -t 0.5 -c:a flac -c:v copy -disposition:v attached_pic flac_cover.flac
ff $A -i "$tmp/cover.png" -map 0 -map 1 -t 0.5 -c:a aac -b:a 32k -c:v copy -disposition:v attached_pic m4a_cover.m4a
ff $A -t 0.5 -c:a libvorbis -q:a 0 -attach "$tmp/cover.jpg" -metadata:s:t mimetype=image/jpeg mka_cover.mka
V="-f lavfi -i testsrc=size=160x120:rate=25"
# AAC's priming samples lie before the edit list's start: the track plays 1.000 s.
ff $V -t 1 $A -t 1 -c:v libx264 -preset veryfast -crf 40 -c:a aac -b:a 32k mp4_h264_aac_edit.mp4
# Written to a pipe, Matroska gets no duration: the tracks end with their last blocks.
ff $V -t 1 $A -t 1 -c:v libx264 -preset veryfast -crf 40 -c:a libvorbis -q:a 0 -f matroska - > mkv_untimed.mkv
ff $A -t 1 -ac 1 -ar 22050 -c:a aac -b:a 24k -f flv flv_aac_mono_22k.flv
# Every fifth picture dropped: the stream stays a 30 fps one with gaps.
ff -f lavfi -i testsrc=size=80x60:rate=30 -t 2 -vf "select='not(eq(mod(n\,5)\,4))'" -fps_mode vfr -c:v wmv2 -q:v 20 \
   -f asf asf_dropped_frames.asf
# ALAC above 65535 Hz: the sample entry's 16.16 rate field cannot hold it, the cookie does.
ff -f lavfi -i sine=frequency=440:sample_rate=96000 -t 0.1 -c:a alac m4a_alac_96k.m4a
# A streaming writer's data size left at 0x7ffff000, far beyond the file's end.
ff -f lavfi -i sine=frequency=440:sample_rate=8000 -t 0.25 -c:a pcm_s16le -bitexact wav_data_too_long.wav
python3 - wav_data_too_long.wav <<'PY'
import struct, sys
wave = bytearray(open(sys.argv[1], "rb").read())
at = wave.find(b"data", 12)
wave[at + 4:at + 8] = struct.pack("<I", 0x7FFFF000)
wave[4:8] = struct.pack("<I", 0x7FFFF000 + at)
open(sys.argv[1], "wb").write(wave)
PY

# Five samples: a file that lasts under a millisecond.
for f in few_samples.aiff:pcm_s16be few_samples.au:pcm_s16be few_samples.wav:pcm_s16le; do
  ff -f lavfi -i sine=frequency=440:sample_rate=44100 -af atrim=end_sample=5 -c:a "${f#*:}" -bitexact "${f%%:*}"
done

# What ffprobe says: one line per stream and one per file.
: > expected.txt
for f in *.mp3 *.flac *.m4a *.mka *.mp4 *.mkv *.flv *.asf *.wav *.aiff *.au; do
  ffprobe -v error -show_entries \
    stream=index,codec_type,codec_name,width,height,r_frame_rate,sample_rate,channels,duration:stream_disposition=attached_pic:format=format_name,duration \
    -of compact=p=0 "$f" | sed -e 's/|$//' -e '/^$/d' | awk -v f="$f" '!seen[$0]++ { print f "\t" $0 }' >> expected.txt
done
ls -l
