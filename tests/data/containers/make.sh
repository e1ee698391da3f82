#!/usr/bin/env bash
# Makes the MP4/QuickTime, FLV and ASF samples the container tests read. The
# outputs are committed, so the tests never need ffmpeg; run this only to
# remake them (Debian 12: apt-get install ffmpeg).
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
V="-f lavfi -i testsrc=size=160x120:rate=25"
A="-f lavfi -i sine=frequency=440:sample_rate=44100"
A22="-f lavfi -i sine=frequency=440:sample_rate=22050"
A48="-f lavfi -i sine=frequency=440:sample_rate=48000"
X264="-c:v libx264 -preset veryfast -crf 35 -pix_fmt yuv420p"

# MP4 / QuickTime
ff $V -t 1 $A -t 1 $X264 -c:a aac -b:a 64k mp4_h264_aac.mp4
ff $V -t 1 $A -t 1 $X264 -c:a aac -b:a 64k -movflags +faststart mp4_h264_aac_faststart.mp4
# 200 x 150 is not a whole number of macroblocks: the SPS codes 208 x 160 and crops.
ff -f lavfi -i testsrc=size=200x150:rate=25 -t 0.4 -an $X264 mp4_h264_200x150.mp4
ff $V -t 1 $A48 -t 1 -c:v mpeg4 -q:v 10 -c:a aac -ac 2 -b:a 96k mp4_mpeg4_aac_stereo.mp4
ff $V -t 1 $A -t 1 $X264 -c:a aac -b:a 64k -metadata title="Torvo title" -metadata artist="Torvo artist" \
   -metadata comment="Sample with tags" mp4_tags.mp4
ff $A -t 1 -c:a aac -b:a 64k audio_aac.m4a
ff -f lavfi -i testsrc=size=176x144:rate=15 -t 1 $A22 -t 1 -c:v h263 -q:v 10 -c:a aac -ar 22050 -ac 1 -b:a 32k video_h263.3gp
ff $V -t 0.5 $A -t 0.5 -c:v mjpeg -q:v 10 -c:a pcm_s16le mov_mjpeg_pcm.mov
ff $V -t 0.5 $A -t 0.5 -c:v qtrle -c:a pcm_s16be mov_qtrle.mov
ff $V -t 0.5 $A -t 0.5 -c:v mjpeg -q:v 10 -c:a libmp3lame -b:a 64k mov_mjpeg_mp3.mov
# IMA ADPCM keeps its WAVEFORMATEX inside the sound entry's "wave" box.
ff $V -t 0.5 $A22 -t 0.5 -c:v mjpeg -q:v 12 -c:a adpcm_ima_wav mov_mjpeg_ima.mov

# FLV
ff $V -t 1 $A22 -t 1 -c:v flv1 -q:v 10 -c:a libmp3lame -ar 22050 -b:a 32k flv_sorenson_mp3_22k.flv
ff $V -t 1 $A -t 1 -c:v flv1 -q:v 10 -c:a libmp3lame -ar 44100 -b:a 64k flv_sorenson_mp3_44k.flv
ff $V -t 0.4 -an -c:v flashsv flv_screen.flv
ff $V -t 0.4 -an -c:v flashsv2 flv_screen2.flv
ff $V -t 1 $A22 -t 1 -c:v flv1 -q:v 12 -c:a nellymoser -ar 22050 flv_nellymoser.flv
ff $V -t 1 $A22 -t 1 -c:v flv1 -q:v 12 -c:a adpcm_swf -ar 22050 flv_adpcm.flv
ff $V -t 1 $A -t 1 $X264 -c:a aac -b:a 64k flv_h264_aac.flv

# ASF
ff $V -t 1 $A -t 1 -c:v wmv1 -b:v 150k -c:a wmav1 -b:a 64k asf_wmv1_wma1.wmv
ff $V -t 1 $A -t 1 -c:v wmv2 -b:v 150k -c:a wmav2 -b:a 64k -metadata title="Torvo title" -metadata author="Torvo" asf_wmv2_wma2.wmv
ff $V -t 1 $A -t 1 -c:v msmpeg4 -b:v 150k -c:a wmav2 -b:a 48k asf_msmpeg4.asf
ff $A -t 1 -c:a wmav2 -b:a 64k audio_wma2.wma
