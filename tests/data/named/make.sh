#!/usr/bin/env bash
# Makes the Ogg, FLAC, AIFF, AU, WavPack, VOC, RIFX and RealMedia samples the
# tests read, and what ffprobe says about them (expected.txt). The outputs are
# committed, so the tests never need ffmpeg; run this only to remake them
# (Debian 12: apt-get install ffmpeg python3 sox flac wavpack opus-tools
# vorbis-tools).
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
V="-f lavfi -i testsrc=size=176x144:rate=15"
A="-f lavfi -i sine=frequency=440:sample_rate=44100"
A22="-f lavfi -i sine=frequency=440:sample_rate=22050"
A8="-f lavfi -i sine=frequency=440:sample_rate=8000"
A48="-f lavfi -i sine=frequency=440:sample_rate=48000"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

# Ogg: Theora with Vorbis, Opus (input rate 44100: the header keeps it), FLAC and Speex.
ff $V -t 1 $A22 -t 1 -c:v libtheora -q:v 2 -c:a libvorbis -q:a 0 -ac 2 -metadata title="Torvo Ogg" -metadata artist="Torvo" ogg_theora_vorbis.ogg
ff $A -t 1 -c:a libopus -b:a 24k -ac 2 -metadata title="Torvo Opus" opus_stereo.opus
ff $A22 -t 0.5 -c:a flac -f ogg ogg_flac.oga
ff $A8 -t 1 -c:a libspeex -f ogg speex_8k.spx
# FLAC with a tag.
ff $A48 -t 0.7 -ac 2 -c:a flac -metadata title="Torvo FLAC" -metadata date=2026 flac_stereo.flac
# AIFF (16-bit PCM) and AIFF-C (A-law, 32-bit float).
ff $A22 -t 0.2 -ac 2 -c:a pcm_s16be -metadata title="Torvo AIFF" aiff_pcm16.aif
ff $A8 -t 0.5 -c:a pcm_alaw -f aiff aifc_alaw.aifc
ff $A22 -t 0.1 -c:a pcm_f32be -f aiff aifc_float.aifc
# Sun AU: mu-law and 16-bit PCM.
ff $A8 -t 0.5 -c:a pcm_mulaw au_mulaw.au
ff $A22 -t 0.1 -ac 2 -c:a pcm_s16be au_pcm16.au
# WavPack, Creative Voice.
ff $A -t 0.5 -ac 2 -c:a wavpack wavpack_stereo.wv
ff $A22 -t 0.5 -c:a pcm_u8 voc_u8.voc
ff $A22 -t 0.1 -ac 2 -c:a pcm_s16le voc_s16_stereo.voc
# RealMedia: RealVideo 1 and 2 with AC-3 (the "dnet" stream) and RealAudio 1.0.
ff $V -t 1 $A -t 1 -c:v rv10 -b:v 60k -c:a ac3 -b:a 64k -ac 2 -metadata title="Torvo RM" -metadata author="Torvo" rm_rv10_ac3.rm
ff $V -t 1 $A8 -t 1 -c:v rv20 -b:v 60k -c:a real_144 rm_rv20_ra144.rm
# RIFX: the wave file of 16-bit samples turned big-endian (no encoder writes it).
ff $A22 -t 0.1 -ac 2 -c:a pcm_s16le "$tmp/le.wav"
python3 - "$tmp/le.wav" rifx_pcm16.wav <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
out, pos = bytearray(b'RIFX' + struct.pack('>I', struct.unpack('<I', data[4:8])[0]) + b'WAVE'), 12
while pos + 8 <= len(data):
    cid, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
    body = data[pos + 8:pos + 8 + size]
    if cid == b'fmt ':
        tag, ch, rate, brate, align, bits = struct.unpack('<HHIIHH', body[:16])
        body = struct.pack('>HHIIHH', tag, ch, rate, brate, align, bits) + body[16:]
    elif cid == b'data':
        body = b''.join(body[i + 1:i + 2] + body[i:i + 1] for i in range(0, len(body) - 1, 2))
    out += cid + struct.pack('>I', size) + body + (b'\0' if size & 1 else b'')
    pos += 8 + size + (size & 1)
open(sys.argv[2], 'wb').write(out)
PY

# The same sound from the formats' own reference encoders, which write what
# ffmpeg does not (seek tables, hybrid blocks, other header versions).
sox -n -r 44100 -c 2 -b 16 "$tmp/tone.wav" synth 0.3 sine 440
flac -s -f --tag=TITLE=Tone -o enc_flac.flac "$tmp/tone.wav"
wavpack -q -y "$tmp/tone.wav" -o enc_wavpack.wv
wavpack -q -y -b128 "$tmp/tone.wav" -o enc_wavpack_hybrid.wv
opusenc --quiet "$tmp/tone.wav" enc_opus.opus
oggenc -Q -q 0 --resample 22050 -t Tone "$tmp/tone.wav" -o enc_vorbis.ogg
sox "$tmp/tone.wav" -r 11025 -c 1 -b 8 enc_sox.voc
sox "$tmp/tone.wav" -r 8000 -c 1 -e u-law enc_sox.au

# real_*: files other people made, kept as they were shipped (see README).

# What ffprobe says: one line per stream and one per file.
: > expected.txt
for f in *.ogg *.opus *.oga *.spx *.flac *.aif *.aiff *.aifc *.au *.wv *.voc *.rm *.wav; do
  ffprobe -v error -show_entries \
    stream=index,codec_type,codec_name,width,height,r_frame_rate,sample_rate,channels,bits_per_sample,bits_per_raw_sample,duration:format=format_name,duration \
    -of compact=p=0 "$f" | sed -e 's/|$//' -e '/^$/d' | awk -v f="$f" '!seen[$0]++ { print f "\t" $0 }' >> expected.txt
done
ls -l
