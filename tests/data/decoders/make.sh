#!/usr/bin/env bash
# Makes the samples of formats whose decoder answer is easy to get wrong: each
# is asked of GStreamer by the status test. The outputs are committed, so the
# tests never need ffmpeg; run this only to remake them (Debian 12: ffmpeg).
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
V="-f lavfi -i testsrc=size=64x48:rate=10"
A="-f lavfi -i sine=frequency=440:sample_rate=44100"

# AC-3 5.1 in AVI: the sound format is WAVE_FORMAT_EXTENSIBLE with an AC-3 sub-format.
ff $V -t 0.5 $A -t 0.5 -ac 6 -c:v mpeg4 -q:v 10 -c:a ac3 -b:a 192k avi_ac3_51_extensible.avi
# Cinepak in Matroska: stored as V_QUICKTIME, which the Matroska demuxer leaves unknown.
ff $V -t 0.5 -c:v cinepak mkv_cinepak.mkv
# FFV1 in Matroska (V_MS/VFW/FOURCC) and in AVI.
ff $V -t 0.3 -c:v ffv1 mkv_ffv1.mkv
ff $V -t 0.3 -c:v ffv1 avi_ffv1.avi
# MJPEG-A with MPEG-1 layer 2 sound in QuickTime.
ff $V -t 0.5 $A -t 0.5 -c:v mjpeg -q:v 12 -tag:v mjpa -c:a mp2 -b:a 64k mov_mjpa_mp2.mov
# Apple Lossless in QuickTime and MPEG-4 audio.
ff $A -t 0.3 -c:a alac mov_alac.mov
ff $A -t 0.3 -c:a alac m4a_alac.m4a
# ProRes 422 HQ, 422 and 4444.
ff $V -t 0.2 -c:v prores_ks -profile:v 3 mov_prores_apch.mov
ff $V -t 0.2 -c:v prores_ks -profile:v 2 mov_prores_apcn.mov
ff $V -t 0.2 -c:v prores_ks -profile:v 4 mov_prores_ap4h.mov
