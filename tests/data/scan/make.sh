#!/usr/bin/env bash
# Makes the samples the full-scan tests read, and expected.txt: for each
# sample the pictures ffprobe decodes from it and their I, P and B counts
# (name pictures I P B). The outputs are committed; run this only to remake
# them (Debian 12: apt-get install ffmpeg).
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y -fflags +bitexact "$@"; }
V="-f lavfi -i testsrc=size=160x120:rate=25"
A="-f lavfi -i sine=frequency=440:sample_rate=48000"

# MPEG-2 program streams with B-frames and 12-picture GOPs. With +cgop ffmpeg
# closes each GOP with a P picture, so -g 12 gives 10-picture closed GOPs
# (I BB P BB P BB P); without it the GOPs are open, 12 pictures long, and sent
# as I BB P BB P BB P BB.
ff $V -t 3 $A -t 3 -c:v mpeg2video -b:v 300k -bf 2 -g 12 -flags +cgop -sc_threshold 1000000000 -c:a mp2 -b:a 64k -f vob mpeg2_ps_closed.mpg
ff $V -t 3 $A -t 3 -c:v mpeg2video -b:v 300k -bf 2 -g 12 -sc_threshold 1000000000 -c:a mp2 -b:a 64k -f vob mpeg2_ps_gop12.mpg
# MPEG-1 system stream.
ff $V -t 2 $A -t 2 -c:v mpeg1video -b:v 300k -bf 2 -g 15 -c:a mp2 -b:a 64k -f mpeg mpeg1_system.mpg
# MPEG-2 video elementary stream.
ff $V -t 2 -c:v mpeg2video -b:v 300k -bf 2 -g 12 -f mpeg2video mpeg2_elementary.m2v
# MPEG-4 Part 2 in AVI, with and without B-frames, and Motion JPEG.
ff $V -t 2 $A -t 2 -c:v mpeg4 -vtag XVID -q:v 10 -bf 2 -g 25 -c:a libmp3lame -b:a 64k avi_mpeg4_bframes.avi
ff $V -t 2 $A -t 2 -c:v mpeg4 -vtag XVID -q:v 10 -bf 0 -g 25 -c:a pcm_s16le -ac 1 avi_mpeg4_plain.avi
ff $V -t 1 $A -t 1 -c:v mjpeg -q:v 20 -c:a pcm_s16le -ac 1 avi_mjpeg.avi

: > expected.txt
for f in mpeg2_ps_closed.mpg mpeg2_ps_gop12.mpg mpeg1_system.mpg mpeg2_elementary.m2v avi_mpeg4_bframes.avi avi_mpeg4_plain.avi avi_mjpeg.avi; do
  n=$(ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$f" | tr -d ,)
  types=$(ffprobe -v error -select_streams v:0 -show_frames -show_entries frame=pict_type -of default=nw=1 "$f")
  i=$(grep -c '^pict_type=I' <<<"$types" || true)
  p=$(grep -c '^pict_type=P' <<<"$types" || true); b=$(grep -c '^pict_type=B' <<<"$types" || true)
  echo "$f $n $i $p $b" >> expected.txt
done
cat expected.txt
ls -l
