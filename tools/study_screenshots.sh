#!/bin/sh
# The README's screenshots of the study window, taken on a virtual screen of
# the window's initial size with ImageMagick's import: the window opened on an
# INP file, after an available-flow run up to MAXIMAL_FLOW, and after a
# design check at REQUIRED_FLOW. The fields are reached by their places in the
# window at its initial size (there is no window manager to move it).
#   tools/study_screenshots.sh build/app/hydrosk NETWORK.inp OUTDIR [MAXIMAL_FLOW REQUIRED_FLOW SECONDS]
# SECONDS is how long each run is given (15 by default).
set -eu
if [ "${INSIDE_XVFB:-}" != 1 ]; then
  INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi
program=$1 inp=$2 out=$3 maximal=${4:-5000} required=${5:-1500} seconds=${6:-15}
"$program" --study "$inp" &
pid=$!
window=$(xdotool search --sync --name "Hydrosk Study - ")
sleep 2
import -window root "$out/study-window.png"

# A number into the field at x, y: a triple click selects its text.
enter() {
  xdotool mousemove "$1" "$2" click --repeat 3 --delay 80 1
  xdotool type --delay 40 "$3"
}
xdotool windowfocus --sync "$window"
enter 186 133 "$maximal"
xdotool key alt+r
sleep "$seconds"
import -window root "$out/study-window-available.png"

# The mode box is two fields before the maximal flow; Down picks the design check.
xdotool mousemove 186 133 click 1 key shift+Tab shift+Tab Down
enter 186 273 "$required"
xdotool key alt+r
sleep "$seconds"
import -window root "$out/study-window-design.png"
kill "$pid"
wait "$pid" || true
