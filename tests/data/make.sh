#!/usr/bin/env bash
# Makes the small real media samples the tests read. The outputs are committed,
# so the tests never need ffmpeg; run this only to remake them (Debian 12:
# apt-get install ffmpeg genisoimage gzip zip python3).
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
V="-f lavfi -i testsrc=size=160x120:rate=25"
A="-f lavfi -i sine=frequency=440:sample_rate=44100"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

ff $V -t 1 -c:v mpeg4 -vtag XVID -q:v 8 -an avi_mpeg4.avi
ff $V -t 1 $A -t 1 -c:v mpeg4 -vtag XVID -q:v 10 -c:a libmp3lame -b:a 64k avi_mpeg4_mp3.avi
ff $A -t 0.5 -ac 1 -c:a pcm_s16le wave_pcm.wav
ff $V -t 1 $A -t 1 -c:v mpeg2video -b:v 400k -c:a mp2 -b:a 64k -f vob mpeg2_ps.mpg
ff $V -t 1 -c:v mpeg2video -b:v 400k -f mpeg2video mpeg2_video.m2v
ff $A -t 1 -c:a libmp3lame -b:a 64k -id3v2_version 3 -metadata title="Torvo sample" -metadata artist="Torvo" mp3_id3v2.mp3
# MPEG-1 layer II behind the same ID3v2 tag (the mp3 muxer takes layer III only).
ff $A -t 1 -c:a mp2 -b:a 64k -f mp2 "$tmp/plain.mp2"
read -r s0 s1 s2 s3 < <(od -An -tu1 -j6 -N4 mp3_id3v2.mp3)
head -c $(( (s0 << 21 | s1 << 14 | s2 << 7 | s3) + 10 )) mp3_id3v2.mp3 | cat - "$tmp/plain.mp2" > mp2_id3v2.mp2
ff $A -t 1 -ac 2 -c:a ac3 -b:a 96k ac3_stereo.ac3
ff $A -t 1 -c:a aac -b:a 64k -f adts aac_adts.aac
ff -f lavfi -i testsrc=size=720x576:rate=25 -frames:v 2 -pix_fmt yuv420p -c:v dvvideo -f dv dv_pal.dv
ff $V -t 1 $A -t 1 -c:v mpeg2video -b:v 300k -c:a mp2 -b:a 64k -f mpegts ts_mpeg2.ts
ff $V -t 1 $A -t 1 -c:v mpeg4 -q:v 10 -c:a aac -b:a 48k mp4_mpeg4_aac.mp4
ff $V -t 1 $A -t 1 -c:v mpeg4 -q:v 10 -c:a pcm_s16le quicktime.mov
ff $V -t 1 $A -t 1 -c:v flv1 -q:v 10 -c:a libmp3lame -ar 22050 -b:a 32k flv_h263_mp3.flv
ff $V -t 1 $A -t 1 -c:v wmv2 -b:v 200k -c:a wmav2 -b:a 64k asf_wmv2_wma.wmv
ff $A -t 1 -c:a libvorbis -q:a 0 ogg_vorbis.ogg
ff $A -t 0.5 -c:a flac flac_audio.flac
ff $V -frames:v 1 image.png
ff $V -frames:v 1 image.gif
ff $V -frames:v 1 -q:v 5 image.jpg
printf 'Torvo sample text\n' > "$tmp/readme.txt"
(cd "$tmp" && zip -q -X archive.zip readme.txt) && mv "$tmp/archive.zip" archive.zip
gzip -n -c "$tmp/readme.txt" > archive.gz
printf '%%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\ntrailer << /Root 1 0 R >>\n%%%%EOF\n' > document.pdf
: > empty.bin

# A video CD: its MPEG track, cut to 0.4 s so that the images stay small.
ff $V -t 0.4 $A -t 0.4 -target pal-vcd -s 352x288 "$tmp/vcd.mpg"
# ISO 9660 image with 2048-byte sectors holding MPEGAV/AVSEQ01.DAT.
mkdir -p "$tmp/iso/MPEGAV"
cp "$tmp/vcd.mpg" "$tmp/iso/MPEGAV/AVSEQ01.DAT"
genisoimage -quiet -no-pad -V TORVO -o vcd_iso9660.iso "$tmp/iso"
# The same disc as a raw image of 2352-byte CD-ROM XA mode 2 form 1 sectors:
# sync, MSF address, mode, the doubled subheader, 2048 user bytes, then the
# EDC/ECC area (left zero: nothing here checks it). vcdimager's own .bin holds
# a two-second pregap and a second track and would be far larger than 300 KB.
python3 - vcd_iso9660.iso vcd_raw2352.bin <<'PY'
import sys
iso = open(sys.argv[1], 'rb').read()
bcd = lambda v: (v // 10) << 4 | v % 10
out = bytearray()
for lba in range(len(iso) // 2048):
    f = lba + 150  # sector addresses count from the two-second lead-in
    out += b'\x00' + b'\xff' * 10 + b'\x00'
    out += bytes([bcd(f // 4500), bcd(f // 75 % 60), bcd(f % 75), 2])
    out += bytes([0, 0, 0x08, 0]) * 2
    out += iso[lba * 2048:(lba + 1) * 2048]
    out += bytes(280)
open(sys.argv[2], 'wb').write(out)
PY

# Core Audio Format: PCM, A-law, mu-law, float and ALAC from ffmpeg, whose CAF
# muxer takes no AAC: the AAC file is its ADTS stream rewritten as CAF (desc,
# the decoder configuration as an esds cookie, a title, the packet table with
# 1024 priming frames, data).
mkdir -p caf
A8="-f lavfi -i sine=frequency=440:sample_rate=8000"
A22="-f lavfi -i sine=frequency=440:sample_rate=22050"
ff $A22 -t 0.1 -ac 2 -c:a pcm_s16le caf/caf_pcm16.caf
ff $A8 -t 0.3 -c:a pcm_alaw caf/caf_alaw.caf
ff $A8 -t 0.3 -c:a pcm_mulaw caf/caf_mulaw.caf
ff $A22 -t 0.1 -c:a pcm_f32be caf/caf_float.caf
ff $A22 -t 0.3 -c:a alac caf/caf_alac.caf
ff $A -t 0.5 -ac 2 -c:a aac -b:a 64k -f adts "$tmp/caf.aac"
python3 - "$tmp/caf.aac" caf/caf_aac.caf 0.5 <<'PY'
import struct, sys
# An ADTS stream rewritten as a CAF file (ffmpeg's muxer does not write AAC):
# desc, the decoder configuration as an esds cookie, the packet table, data.
adts = open(sys.argv[1], 'rb').read()
packets, pos = [], 0
while pos + 7 <= len(adts):
    h = adts[pos:pos + 7]
    length = ((h[3] & 3) << 11) | (h[4] << 3) | (h[5] >> 5)
    header = 7 if h[1] & 1 else 9
    profile, rate_index, channels = (h[2] >> 6) + 1, (h[2] >> 2) & 15, ((h[2] & 1) << 2) | (h[3] >> 6)
    packets.append(adts[pos + header:pos + length])
    pos += length
rates = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350]
rate = rates[rate_index]
asc = struct.pack('>H', profile << 11 | rate_index << 7 | channels << 3)
def desc(tag, body): return bytes([tag, 0x80, 0x80, 0x80, len(body)]) + body
dec = desc(4, bytes([0x40, 0x15, 0, 0, 0]) + struct.pack('>II', 128000, 64000) + desc(5, asc))
esds = desc(3, struct.pack('>HB', 0, 0) + dec + desc(6, b'\x02'))
def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))
priming = 1024
frames = len(packets) * 1024
valid = int(float(sys.argv[3]) * rate)
table = b''.join(vlq(len(p)) for p in packets)
pakt = struct.pack('>qqii', len(packets), valid, priming, frames - valid - priming) + table
info = struct.pack('>I', 1) + b'title\0Torvo CAF\0'
def chunk(cid, body, size=None): return cid + struct.pack('>q', len(body) if size is None else size) + body
out = b'caff' + struct.pack('>HH', 1, 0)
out += chunk(b'desc', struct.pack('>dIIIIII', rate, 0x61616320, 0, 0, 1024, channels, 0))
out += chunk(b'kuki', esds) + chunk(b'info', info) + chunk(b'pakt', pakt)
out += chunk(b'data', struct.pack('>I', 0) + b''.join(packets))
open(sys.argv[2], 'wb').write(out)
PY
ls -l . caf
