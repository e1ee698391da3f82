#!/usr/bin/env bash
# Makes the small RIFF samples (AVI and WAVE) the RIFF tests read. The outputs
# are committed, so the tests never need ffmpeg; run this only to remake them
# (Debian 12: apt-get install ffmpeg).
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y -fflags +bitexact "$@"; }
V="-f lavfi -i testsrc=size=160x120:rate=25"
A="-f lavfi -i sine=frequency=440:sample_rate=44100"
A48="-f lavfi -i sine=frequency=440:sample_rate=48000"

# MPEG-4 ASP under three FourCCs, with and without B-frames, MP3 CBR and VBR.
ff $V -t 1 $A -t 1 -c:v mpeg4 -vtag XVID -bf 2 -q:v 10 -c:a libmp3lame -b:a 64k avi_xvid_bframes_mp3cbr.avi
ff $V -t 1 $A -t 1 -c:v mpeg4 -vtag DX50 -bf 0 -q:v 10 -c:a libmp3lame -q:a 6 avi_dx50_mp3vbr.avi
ff $V -t 1 $A -t 1 -c:v mpeg4 -vtag FMP4 -bf 1 -q:v 10 -c:a mp2 -b:a 64k avi_fmp4_mp2.avi
# Microsoft MPEG-4 v2 and v3.
ff $V -t 1 $A -t 1 -c:v msmpeg4v2 -q:v 10 -c:a mp2 -b:a 64k avi_msmpeg4v2_mp2.avi
ff $V -t 1 $A48 -t 1 -c:v msmpeg4 -q:v 10 -c:a ac3 -b:a 96k avi_msmpeg4v3_ac3.avi
# Motion JPEG with PCM, H.264 with AC-3, raw video with ADPCM.
ff $V -t 0.4 $A -t 0.4 -c:v mjpeg -q:v 20 -c:a pcm_s16le -ac 1 avi_mjpeg_pcm.avi
ff $V -t 1 $A48 -t 1 -c:v libx264 -preset ultrafast -crf 35 -c:a ac3 -b:a 96k avi_h264_ac3.avi
ff -f lavfi -i testsrc=size=32x24:rate=25 -t 0.4 $A -t 0.4 -c:v rawvideo -pix_fmt bgr24 -c:a adpcm_ms -ac 1 avi_raw_adpcm.avi
# DV (type 2: video and audio in their own streams), one PAL frame.
ff -f lavfi -i testsrc=size=720x576:rate=25 $A48 -t 0.04 -frames:v 1 -pix_fmt yuv420p -c:v dvvideo -c:a pcm_s16le avi_dv_pal.avi
# Two audio streams.
ff $V -t 1 $A -t 1 $A48 -t 1 -map 0 -map 1 -map 2 -c:v mpeg4 -vtag XVID -q:v 10 -c:a:0 libmp3lame -b:a:0 64k \
   -c:a:1 ac3 -b:a:1 96k avi_two_audio.avi
# A PAL 720x576 4:3 source, two frames.
ff -f lavfi -i testsrc=size=720x576:rate=25 -frames:v 2 -c:v mpeg4 -vtag XVID -q:v 31 -aspect 4:3 -an avi_pal_720x576.avi
# WAVE files.
ff $A -t 0.3 -c:a adpcm_ima_wav -ac 2 wave_adpcm_ima.wav
ff $A -t 0.5 -c:a libmp3lame -b:a 32k -f wav wave_mp3.wav
ls -l
