#!/usr/bin/env bash
# Writes a benchmark corpus of ordinary ffmpeg-made files of 0.1-2 MB into a
# scratch folder (default /tmp/torvo-corpus): every family the program reads,
# CD images and files that are not media at all. The corpus is not committed;
# bench/compare_mediainfo.sh times the program against mediainfo over it.
# Debian 12: apt-get install ffmpeg genisoimage zip python3.
set -euo pipefail
out=${1:-/tmp/torvo-corpus}
mkdir -p "$out"
cd "$out"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
src() { echo "-f lavfi -i testsrc=size=$1:rate=$2"; }
tone() { echo "-f lavfi -i sine=frequency=440:sample_rate=$1"; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

for t in 3 6 9; do
  # AVI
  ff $(src 320x240 25) -t $t $(tone 44100) -t $t -c:v mpeg4 -vtag XVID -b:v 900k -c:a libmp3lame -b:a 128k avi_xvid_mp3_$t.avi
  ff $(src 320x240 25) -t $t $(tone 48000) -t $t -c:v msmpeg4 -b:v 900k -c:a ac3 -b:a 192k avi_msmpeg4_ac3_$t.avi
  ff $(src 320x240 25) -t $t $(tone 48000) -t $t -c:v libx264 -preset veryfast -b:v 900k -pix_fmt yuv420p -c:a ac3 -b:a 128k avi_h264_ac3_$t.avi
  ff $(src 160x120 25) -t $((t / 2 + 1)) $(tone 22050) -t $((t / 2 + 1)) -c:v mjpeg -q:v 8 -c:a pcm_s16le avi_mjpeg_pcm_$t.avi
  # MPEG program and system streams: DVD, SVCD, VCD, plain MPEG-2
  ff $(src 720x576 25) -t $t $(tone 48000) -t $t -target pal-dvd -b:v 1200k -maxrate 3000k -c:a ac3 -ac 2 -b:a 192k dvd_pal_ac3_$t.vob
  ff $(src 480x576 25) -t $t $(tone 44100) -t $t -target pal-svcd -b:v 1200k svcd_pal_$t.mpg
  ff $(src 352x288 25) -t $t $(tone 44100) -t $t -target pal-vcd vcd_pal_$t.mpg
  ff $(src 352x240 30000/1001) -t $t $(tone 48000) -t $t -c:v mpeg2video -b:v 1000k -c:a mp2 -b:a 192k -f vob mpeg2_ps_$t.mpg
  # Video elementary streams
  ff $(src 352x288 25) -t $t -c:v mpeg1video -b:v 1000k -f mpeg1video mpeg1_$t.m1v
  ff $(src 720x576 25) -t $t -c:v mpeg2video -b:v 1500k -flags +ilme+ildct -f mpeg2video mpeg2_$t.m2v
  ff $(src 352x288 25) -t $t -c:v mpeg4 -b:v 1000k -f m4v mpeg4_$t.m4v
  ff $(src 1280x720 25) -t $t -c:v libx264 -preset veryfast -b:v 1200k -pix_fmt yuv420p -f h264 h264_720p_$t.264
  # MP4, QuickTime, 3GP
  ff $(src 640x360 25) -t $t $(tone 44100) -t $t -c:v libx264 -preset veryfast -b:v 1000k -pix_fmt yuv420p -c:a aac -b:a 128k mp4_h264_aac_$t.mp4
  ff $(src 352x288 25) -t $t $(tone 48000) -t $t -c:v mpeg4 -b:v 1000k -c:a aac -b:a 128k mp4_mpeg4_aac_$t.mp4
  ff $(src 160x120 25) -t $((t / 2 + 1)) $(tone 44100) -t $((t / 2 + 1)) -c:v mjpeg -q:v 8 -c:a pcm_s16le mov_mjpeg_pcm_$t.mov
  ff $(src 176x144 15) -t $((t * 2)) $(tone 22050) -t $((t * 2)) -c:v h263 -b:v 400k -c:a aac -ac 1 -b:a 32k video_h263_$t.3gp
  # FLV, ASF
  ff $(src 320x240 25) -t $t $(tone 44100) -t $t -c:v flv1 -b:v 800k -c:a libmp3lame -b:a 128k flv_sorenson_$t.flv
  ff $(src 320x240 25) -t $t $(tone 44100) -t $t -c:v libx264 -preset veryfast -b:v 800k -pix_fmt yuv420p -c:a aac -b:a 128k flv_h264_$t.flv
  ff $(src 320x240 25) -t $t $(tone 44100) -t $t -c:v wmv2 -b:v 800k -c:a wmav2 -b:a 128k asf_wmv2_$t.wmv
  # Audio elementary streams and WAVE
  ff $(tone 44100) -t $((t * 6)) -ac 2 -c:a libmp3lame -b:a 192k -id3v2_version 3 -metadata title="Corpus $t" mp3_cbr_$t.mp3
  ff $(tone 44100) -t $((t * 8)) -ac 2 -c:a libmp3lame -q:a 2 mp3_vbr_$t.mp3
  ff $(tone 48000) -t $((t * 3)) -ac 2 -c:a ac3 -b:a 384k ac3_$t.ac3
  ff $(tone 44100) -t $((t * 6)) -ac 2 -c:a aac -b:a 192k -f adts aac_$t.aac
  ff $(tone 48000) -t $t -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" -c:a dca -strict -2 -f dts dts_$t.dts
  ff $(tone 48000) -t $((t * 4)) -ac 2 -c:a mp2 -b:a 256k -f mp2 mp2_$t.mp2
  ff $(tone 22050) -t $t -ac 2 -c:a pcm_s16le wave_$t.wav
  # Raw DV
  ff $(src 720x576 25) -frames:v $((t + 1)) -pix_fmt yuv420p -c:v dvvideo -f dv dv_pal_$t.dv
done

# Images (noise, so that they are not tiny), archives and other files that are not media.
noise="-f lavfi -i nullsrc=size=320x240,geq=random(1)*255:128:128"
ff $noise -frames:v 1 image.png
ff -f lavfi -i "nullsrc=size=640x480,geq=random(1)*255:random(2)*255:128" -frames:v 1 -q:v 2 image.jpg
ff $noise -frames:v 1 image.bmp
ff -f lavfi -i "nullsrc=size=640x480,geq=random(1)*255:random(2)*255:128" -frames:v 1 image.gif
head -c 600000 /dev/urandom > "$tmp/random.bin"
cp "$tmp/random.bin" random.bin
(cd "$tmp" && zip -q -X archive.zip random.bin) && mv "$tmp/archive.zip" archive.zip
gzip -n -c "$tmp/random.bin" > archive.gz
python3 - text.txt document.pdf <<'PY'
import sys
line = "Torvo benchmark corpus: plain text that is neither media nor a known signature.\n"
open(sys.argv[1], "w").write(line * 4000)
body = "".join("%d 0 obj << /Length 40 >> stream\nBT /F1 12 Tf 72 712 Td (page) Tj ET\nendstream endobj\n" % i
               for i in range(3, 2000))
open(sys.argv[2], "w").write("%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n" + body + "%%EOF\n")
PY

# Video CD images: ISO 9660 with MPEGAV/AVSEQ01.DAT, and the same as raw 2352-byte sectors.
ff $(src 352x288 25) -t 3 $(tone 44100) -t 3 -target pal-vcd "$tmp/vcd.mpg"
mkdir -p "$tmp/iso/MPEGAV"
cp "$tmp/vcd.mpg" "$tmp/iso/MPEGAV/AVSEQ01.DAT"
genisoimage -quiet -no-pad -V TORVO -o vcd_iso9660.iso "$tmp/iso"
python3 - vcd_iso9660.iso vcd_raw2352.bin <<'PY'
import sys
iso = open(sys.argv[1], 'rb').read()
bcd = lambda v: (v // 10) << 4 | v % 10
out = bytearray()
for lba in range(len(iso) // 2048):
    f = lba + 150
    out += b'\x00' + b'\xff' * 10 + b'\x00'
    out += bytes([bcd(f // 4500), bcd(f // 75 % 60), bcd(f % 75), 2])
    out += bytes([0, 0, 0x08, 0]) * 2
    out += iso[lba * 2048:(lba + 1) * 2048]
    out += bytes(280)
open(sys.argv[2], 'wb').write(out)
PY

# Report the count and any file outside 0.1-2 MB.
count=0
for f in *; do
  size=$(stat -c %s "$f")
  count=$((count + 1))
  if (( size < 100000 || size > 2000000 )); then echo "outside 0.1-2 MB: $f ($size bytes)" >&2; fi
done
echo "$count files in $out ($(du -sh . | cut -f1))"
