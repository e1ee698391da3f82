#!/usr/bin/env bash
# Makes the MPEG and elementary-stream samples the format tests read. The
# outputs are committed; run this only to remake them (Debian 12 ffmpeg with
# libx264 and libmp3lame). Every file stays well under 300 KB.
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
src() { echo "-f lavfi -i testsrc=size=$1:rate=$2"; }
tone() { echo "-f lavfi -i sine=frequency=440:sample_rate=$1"; }

# Program and system streams.
ff $(src 352x288 25) -t 0.4 $(tone 44100) -t 0.4 -target pal-vcd vcd_pal.mpg
ff $(src 352x240 30000/1001) -t 0.3 $(tone 44100) -t 0.3 -target ntsc-vcd vcd_ntsc.mpg
ff $(src 480x576 25) -t 0.3 $(tone 44100) -t 0.3 -target pal-svcd -b:v 1500k svcd_pal.mpg
ff $(src 720x576 25) -t 0.4 $(tone 48000) -t 0.4 -target pal-dvd -b:v 1500k -maxrate 3000k -aspect 16:9 -c:a ac3 -ac 2 -b:a 192k dvd_pal_ac3.vob
ff $(src 720x480 30000/1001) -t 0.3 $(tone 48000) -t 0.3 -target ntsc-dvd -b:v 1500k -maxrate 3000k -c:a pcm_dvd -ac 2 dvd_ntsc_lpcm.vob

# Video elementary streams.
ff $(src 320x240 25) -t 1 -c:v mpeg1video -b:v 300k -f mpeg1video mpeg1_video.m1v
ff $(src 720x576 25) -t 0.4 -c:v mpeg2video -b:v 1500k -flags +ilme+ildct -top 1 -aspect 4:3 -f mpeg2video mpeg2_interlaced.m2v
ff $(src 176x144 25) -t 0.2 -c:v mpeg2video -b:v 300k -color_primaries bt709 -color_trc bt709 -colorspace bt709 -f mpeg2video mpeg2_bt709.m2v
ff $(src 352x288 25) -t 1 -c:v mpeg4 -q:v 10 -bf 0 -f m4v mpeg4_plain.m4v
ff $(src 352x288 25) -t 1 -c:v mpeg4 -q:v 10 -bf 2 -f m4v mpeg4_bframes.m4v
ff $(src 352x288 25) -t 1 -c:v mpeg4 -q:v 10 -bf 1 -flags +qpel -f m4v mpeg4_qpel.m4v
ff $(src 1920x1080 25) -frames:v 3 -c:v libx264 -preset ultrafast -crf 51 -pix_fmt yuv420p -f h264 h264_1080.264
ff $(src 640x360 25) -frames:v 5 -c:v libx264 -preset veryfast -crf 40 -profile:v main -pix_fmt yuv420p -f h264 h264_640x360.264
ff $(src 320x240 25) -frames:v 5 -c:v libx264 -preset veryfast -crf 40 -profile:v baseline -pix_fmt yuv420p -f h264 h264_320x240.264
# High profile with custom scaling lists, and 4:4:4: the fields that follow
# seq_parameter_set_id in those profiles must be read before the picture size.
ff $(src 640x480 25) -frames:v 3 -c:v libx264 -preset veryfast -crf 40 -x264-params cqm=jvt -pix_fmt yuv420p -f h264 h264_high_cqm.264
ff $(src 352x288 25) -frames:v 3 -c:v libx264 -preset veryfast -crf 40 -pix_fmt yuv444p -profile:v high444 -f h264 h264_444.264
# 4:4:4 crops in whole samples (4:2:0 in pairs): 208 x 160 coded, 200 x 150 shown.
ff $(src 200x150 25) -frames:v 2 -c:v libx264 -preset veryfast -crf 45 -pix_fmt yuv444p -profile:v high444 -f h264 h264_444_200x150.264
# H.265/HEVC Annex B streams. x265 codes 320x180 as 320x192 and crops 12 lines by
# the conformance window (6 pairs in 4:2:0, 12 single lines in 4:2:2); one has
# no VUI timing; one carries explicit scaling lists, whose SPS passes 1 KB.
X265="-c:v libx265 -preset ultrafast -crf 40"
ff $(src 320x180 25) -frames:v 5 $X265 -x265-params log-level=error -pix_fmt yuv420p -f hevc hevc_320x180.hevc
ff $(src 320x180 25) -frames:v 3 $X265 -x265-params log-level=error:info=0:vui-timing-info=0:vui-hrd-info=0 \
   -pix_fmt yuv420p -f hevc hevc_no_timing.hevc
lists=$(mktemp); trap 'rm -f "$lists"' EXIT
python3 - "$lists" <<'PY'
import sys
# Every list of every size (HM's text format, as x265 reads it), a 16x16 and 32x32 list with its DC value.
rows = []
for size, count in (("4X4", 16), ("8X8", 64), ("16X16", 64), ("32X32", 64)):
    for kind in ("INTRA", "INTER"):
        for comp in ("LUMA", "CHROMAU", "CHROMAV"):
            name = f"{kind}{size}_{comp}"
            rows += [name + " =", ",".join(str(8 + (i * 7 + len(rows)) % 33) for i in range(count)) + ","]
            if size in ("16X16", "32X32"):
                rows += [name + "_DC =", "16,"]
open(sys.argv[1], "w").write("\n".join(rows) + "\n")
PY
ff $(src 320x180 24000/1001) -frames:v 3 $X265 -x265-params log-level=error:scaling-list="$lists" -pix_fmt yuv422p10le \
   -f hevc hevc_422_10bit_lists.hevc

# Audio elementary streams.
ff $(tone 44100) -t 1 -c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0 mp3_cbr128.mp3
ff $(tone 44100) -t 2 -ac 2 -c:a libmp3lame -q:a 4 -id3v2_version 0 mp3_vbr_lame.mp3
# Mono: the Xing header sits at offset 21, where it is not looked for.
ff $(tone 44100) -t 1 -c:a libmp3lame -q:a 4 -id3v2_version 0 mp3_vbr_mono.mp3
ff $(tone 22050) -t 1 -c:a libmp3lame -b:a 32k -ac 1 -write_xing 0 -id3v2_version 0 mp3_mpeg2_22050.mp3
ff $(tone 8000) -t 2 -c:a libmp3lame -b:a 16k -ac 1 -write_xing 0 -id3v2_version 0 mp3_mpeg25_8000.mp3
ff $(tone 48000) -t 1 -c:a mp2 -b:a 192k -f mp2 mp2_48000.mp2
ff $(tone 48000) -t 0.5 -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" -c:a ac3 -b:a 448k ac3_51.ac3
ff $(tone 48000) -t 0.3 -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" -c:a dca -strict -2 -f dts dts_51.dts
ff $(tone 44100) -t 1 -ac 2 -c:a aac -b:a 96k -f adts aac_stereo.aac

# Raw DV: PAL 4:3, PAL 16:9, NTSC.
ff $(src 720x576 25) -frames:v 1 -pix_fmt yuv420p -c:v dvvideo -aspect 4:3 -f dv dv_pal_4x3.dv
ff $(src 720x576 25) -frames:v 1 -pix_fmt yuv420p -c:v dvvideo -aspect 16:9 -f dv dv_pal_16x9.dv
ff $(src 720x480 30000/1001) -frames:v 1 -pix_fmt yuv411p -c:v dvvideo -f dv dv_ntsc.dv
# Two PAL frames with 48 kHz stereo sound in their audio DIF blocks.
ff $(src 720x576 25) -t 0.08 $(tone 48000) -t 0.08 -ac 2 -pix_fmt yuv420p -c:v dvvideo -c:a pcm_s16le -f dv dv_pal_sound.dv
ls -l
