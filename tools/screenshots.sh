#!/usr/bin/env bash
# Photographs the main window on a DVD-style MPEG sample, the settings dialog
# and the export dialog under Xvfb into docs/screenshots/ (small PNGs).
# Needs a built tree: cmake --build build --target gui_showcase
set -euo pipefail
cd "$(dirname "$0")/.."
showcase=${1:-build/tests/gui_showcase}
out=docs/screenshots
mkdir -p "$out"
shoot() {  # shoot NAME WIDTHxHEIGHT ARGS...
  local name=$1 size=$2; shift 2
  xvfb-run -a -s "-screen 0 ${size}x24" bash -c '
    "$@" & pid=$!
    sleep ${SHOT_DELAY:-3}
    import -window root "'"$out/$name"'.png"
    kill $pid' _ "$showcase" "$@"
  # Crop to what was drawn and keep the file small.
  convert "$out/$name.png" -trim +repage -colors 128 -strip "$out/$name.png"
  echo "$out/$name.png"
}
shoot main-window 1280x800 main "$PWD/tests/data/mpeg/dvd_pal_ac3.vob"
shoot settings 900x700 settings
shoot export 900x700 export
shoot video-formats 1000x640 video-formats
shoot codec-list 1200x640 codec-list
shoot vgs 1280x800 vgs "$PWD/tests/data/scan/mpeg2_ps_gop12.mpg"
shoot file-dialog 1100x700 file-dialog
shoot help-popup 1280x800 popup "$PWD/tests/data/mpeg/dvd_pal_ac3.vob"
# The render test's playback and the suggested chains, built and played with
# the machine's own sinks (on Xvfb, without XVideo: the plain X sink).
SHOT_DELAY=5 shoot render-panel 1280x820 render "$PWD/tests/data/avi_mpeg4_mp3.avi"
SHOT_DELAY=7 shoot monitor 1280x820 monitor "$PWD/tests/data/avi_mpeg4.avi"
SHOT_DELAY=4 shoot chains 1280x820 chains "$PWD/tests/data/avi_mpeg4_mp3.avi"
SHOT_DELAY=8 shoot chain-monitor 1280x820 chain-monitor "$PWD/tests/data/avi_mpeg4.avi"
