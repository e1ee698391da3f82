#!/usr/bin/env bash
# Makes the transport stream and Matroska/WebM samples the tests read, and
# what ffprobe says about them (expected.txt). The outputs are committed, so
# the tests never need ffmpeg; run this only to remake them (Debian 12:
# apt-get install ffmpeg python3).
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
V="-f lavfi -i testsrc=size=160x120:rate=25"
A="-f lavfi -i sine=frequency=440:sample_rate=44100"
A48="-f lavfi -i sine=frequency=440:sample_rate=48000"
X264="-c:v libx264 -preset veryfast -crf 35 -pix_fmt yuv420p"
X265="-c:v libx265 -preset ultrafast -crf 35 -pix_fmt yuv420p -x265-params log-level=error"

# Transport streams: 188-byte packets, and 192-byte M2TS packets (AVCHD, Blu-ray).
ff $V -t 1 $A48 -t 1 -c:v mpeg2video -b:v 300k -c:a mp2 -b:a 64k -f mpegts ts_mpeg2_mp2.ts
ff $V -t 1 $A48 -t 1 $X264 -c:a aac -b:a 64k -ac 2 -metadata:s:a:0 language=eng -f mpegts ts_h264_aac.ts
ff $V -t 1 $A48 -t 1 $X264 -c:a ac3 -b:a 96k -ac 2 -f mpegts -mpegts_m2ts_mode 1 m2ts_h264_ac3.m2ts
ff $V -t 1 $X265 -an -f mpegts ts_hevc.ts
# Six sound streams: more than the window's four audio buttons.
SIX="-map 0:v -map 1:a -map 1:a -map 1:a -map 1:a -map 1:a -map 1:a"
ff $V -t 0.4 $A48 -t 0.4 $SIX -c:v mpeg2video -b:v 200k -c:a:0 mp2 -c:a:1 ac3 -c:a:2 aac -c:a:3 mp2 -c:a:4 ac3 \
   -c:a:5 mp2 -b:a 64k -ac 2 -f mpegts ts_mpeg2_six_audio.ts

# Matroska and WebM.
ff $V -t 1 $A48 -t 1 $X264 -c:a ac3 -b:a 96k -ac 2 -metadata title="Torvo title" mkv_h264_ac3.mkv
ff $V -t 1 $A -t 1 $A48 -t 1 -map 0:v -map 1:a -map 2:a -c:v mpeg4 -q:v 10 -c:a libmp3lame -b:a 64k \
   -metadata:s:a:0 language=rus -metadata:s:a:1 language=eng mkv_mpeg4_mp3x2.mkv
ff $V -t 1 $A48 -t 1 $X265 -c:a aac -b:a 64k mkv_hevc_aac.mkv
ff $V -t 1 $A -t 1 -c:v libvpx -b:v 200k -c:a libvorbis -q:a 0 webm_vp8_vorbis.webm
ff $V -t 1 $A48 -t 1 -c:v libvpx-vp9 -b:v 200k -c:a libopus -b:a 48k webm_vp9_opus.webm
ff $V -t 0.4 $A -t 0.4 -c:v libaom-av1 -cpu-used 8 -b:v 100k -pix_fmt yuv420p -c:a libopus -b:a 32k webm_av1_opus.webm
ff $V -t 1 $A -t 1 -c:v libtheora -q:v 3 -c:a flac mkv_theora_flac.mkv
ff $V -t 0.4 $A48 -t 0.4 $SIX -c:v libx264 -preset veryfast -crf 40 -pix_fmt yuv420p -c:a:0 mp2 -c:a:1 ac3 \
   -c:a:2 aac -c:a:3 libvorbis -c:a:4 flac -c:a:5 libopus -b:a 48k -ac 2 mkv_h264_six_audio.mkv

# An older muxer's EBML header: DocType first, so that "matroska" stands at
# offset 8. The children of ffmpeg's header are reordered; sizes stay.
python3 - mkv_h264_ac3.mkv mkv_doctype_first.mkv <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
assert data[:4] == b'\x1a\x45\xdf\xa3' and data[4] & 0x80
size = data[4] & 0x7f
body, rest = data[5:5 + size], data[5 + size:]
children, pos = [], 0
while pos < len(body):
    ident = body[pos:pos + 2]
    n = body[pos + 2] & 0x7f
    children.append(body[pos:pos + 3 + n])
    pos += 3 + n
doctype = [c for c in children if c[:2] == b'\x42\x82']
others = [c for c in children if c[:2] != b'\x42\x82']
open(sys.argv[2], 'wb').write(data[:5] + b''.join(doctype + others) + rest)
PY

# What ffprobe says: one line per stream and one per file.
: > expected.txt
for f in *.ts *.m2ts *.mkv *.webm; do
  ffprobe -v error -show_entries \
    stream=index,codec_type,codec_name,width,height,r_frame_rate,sample_rate,channels:stream_tags=language:format=format_name,duration \
    -of compact=p=0 "$f" | sed -e 's/|$//' -e '/^$/d' | awk -v f="$f" '!seen[$0]++ { print f "\t" $0 }' >> expected.txt
done
ls -l
