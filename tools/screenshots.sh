#!/usr/bin/env bash
# Photographs the main window, its panels and dialogs under Xvfb into
# docs/screenshots/ (small PNGs): the Russian window as NAME.png and, for the
# shots a reader compares, the English one as NAME-en.png.
# Needs a built tree (cmake --build build --target gui_showcase) and ffmpeg.
#   tools/screenshots.sh [SHOWCASE [NAME...]]   (no names: every shot)
# SHOT_DISPLAY picks the Xvfb display (default :57).
set -euo pipefail
cd "$(dirname "$0")/.."
showcase=${1:-build/tests/gui_showcase}
shift || true
out=docs/screenshots
mkdir -p "$out"
display=${SHOT_DISPLAY:-:57}
size=1600x1000

# One X server for every shot, ended (only it) when the script ends.
Xvfb "$display" -screen 0 ${size}x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
sleep 1
export DISPLAY=$display
# Settings and desktop entries of the showcase stay in a scratch home.
scratch=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$scratch"' EXIT
chmod 700 "$scratch"
export HOME=$scratch XDG_CONFIG_HOME=$scratch/.config XDG_DATA_HOME=$scratch/share XDG_RUNTIME_DIR=$scratch

shoot() {  # shoot NAME LANGUAGE ARGS...
  local name=$1 language=$2; shift 2
  SHOWCASE_LANGUAGE=$language "$showcase" "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep "${SHOT_DELAY:-3}"
  local raw=$scratch/raw.png
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size $size -i "$display" -frames:v 1 "$raw"
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
  # Crop to what was drawn (the root window is black) and keep the file small.
  local crop
  crop=$(ffmpeg -i "$raw" -vf cropdetect=limit=0:round=2:reset=0:skip=0 -f null - 2>&1 | grep -o 'crop=[0-9:]*' | tail -1)
  ffmpeg -loglevel error -y -i "$raw" \
    -vf "$crop,split[a][b];[a]palettegen=max_colors=96:stats_mode=single[p];[b][p]paletteuse=dither=none" \
    "$out/$name.png"
  echo "$out/$name.png"
}

wanted() { [ ${#names[@]} -eq 0 ] || [[ " ${names[*]} " == *" $1 "* ]]; }
names=("$@")
mpeg=$PWD/tests/data/mpeg/dvd_pal_ac3.vob
avi=$PWD/tests/data/avi_mpeg4_mp3.avi
# The shots in both languages.
for language in ru en; do
  suffix=""
  [ "$language" = ru ] || suffix="-$language"
  wanted main-window && shoot main-window$suffix $language main "$mpeg"
  wanted settings && shoot settings$suffix $language settings
  wanted export && shoot export$suffix $language export
  wanted file-dialog && shoot file-dialog$suffix $language file-dialog
  # The render test's playback with the machine's own sinks (on Xvfb,
  # without XVideo: the plain X sink).
  wanted render-panel && SHOT_DELAY=5 shoot render-panel$suffix $language render "$avi"
done
# The Russian window only.
wanted video-formats && shoot video-formats ru video-formats
wanted codec-list && shoot codec-list ru codec-list
wanted vgs && shoot vgs ru vgs "$PWD/tests/data/scan/mpeg2_ps_gop12.mpg"
wanted help-popup && shoot help-popup ru popup "$mpeg"
wanted monitor && SHOT_DELAY=7 shoot monitor ru monitor "$PWD/tests/data/avi_mpeg4.avi"
wanted chains && SHOT_DELAY=4 shoot chains ru chains "$avi"
wanted chain-monitor && SHOT_DELAY=8 shoot chain-monitor ru chain-monitor "$PWD/tests/data/avi_mpeg4.avi"
exit 0
