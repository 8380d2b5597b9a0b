#!/usr/bin/env bash
# The viewer used as a person would, on a virtual X server with no core fonts at 200 dots per
# inch: turned, zoomed, animated, saved and closed, checked through the pictures it saves.
# Usage: viewer_e2e.sh CORVATH CORVATH_RENDER [CORVATH_CONVERT]  (CORVATH_E2E_KEEP=1 keeps files)
set -euo pipefail
# Under the leak checker, a report of the suppressions used would follow each one-line message.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"

corvath=$(realpath "$1") render=$(realpath "$2") convert=${3:+$(realpath "$3")}
work=$(mktemp -d /tmp/corvath-e2e-XXXXXX) log=$work/viewer.log server="" viewer="" && cd "$work"
trap 'kill $viewer $server 2>/dev/null || true
  if [ -n "${CORVATH_E2E_KEEP:-}" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi' EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$log" ] && sed 's/^/viewer: /' "$log" >&2; exit 1; }
# Asks a window to close the way a window manager's close button does.
cat >close.c <<'C'
#include <X11/Xlib.h>
#include <stdlib.h>
int main(int argc, char** argv) {
  Display* display = XOpenDisplay(NULL);
  if (display == NULL || argc != 2) return 1;
  XEvent event = {.xclient = {.type = ClientMessage, .window = strtoul(argv[1], NULL, 0),
    .format = 32, .message_type = XInternAtom(display, "WM_PROTOCOLS", False)}};
  event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
  return XCloseDisplay(display), 0;
}
C
cc -O1 -o close close.c -lX11 || fail "cannot build the close helper"

# Reads saved pictures: "pixel X Y" prints R G B, "colours" the number of distinct colours.
cat >bmp.py <<'PY'
import struct, sys
data, what = open(sys.argv[1], "rb").read(), sys.argv[2]
width, height = struct.unpack_from("<ii", data, 18)
stride = (width * 3 + 3) // 4 * 4
if what == "pixel":
    at = 54 + (height - 1 - int(sys.argv[4])) * stride + 3 * int(sys.argv[3])
    print(data[at + 2], data[at + 1], data[at])
if what == "colours":
    rows = range(54, 54 + height * stride, stride)
    print(len({data[at:at + 3] for row in rows for at in range(row, row + 3 * width, 3)}))
PY
expect_red() { [ "$(python3 bmp.py "$1" pixel "$2" "$3")" = "255 0 0" ] || fail "$4"; }
run() { code=0; "$@" 2>err || code=$?; }
same() { cmp -s "$1" "$2" || fail "$3"; }
# Runs COMMAND... every tenth of a second until it succeeds, at most TIMES times.
retry() { for _ in $(seq "$1"); do "${@:2}" && return; sleep 0.1; done; return 1; }
xdotool_steps() { for step in "$@"; do xdotool $step; done; }

# True once the viewer has ended (an ended child stays a zombie until it is waited for).
viewer_ended() { local stat; stat=$(ps -o stat= -p "$viewer") || return 0; [[ $stat == Z* ]]; }
# Prints the id of the named window if it is mapped.
viewable_window() {
  local id=$(xwininfo -name "$1" 2>/dev/null | awk '/Window id:/ {print $4; exit}')
  [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable" && echo "$id"
}
wait_for_window() { retry 100 viewable_or_ended "$1" && ! viewer_ended; }
viewable_or_ended() { viewable_window "$1" || viewer_ended; }
launch() { (cd "$work/run" && exec "$corvath" "$@") >"$log" 2>&1 & viewer=$!; }
# Focuses the window, captioned by the model it shows.
start_viewer() {
  launch "$@" && local shown="3D-Corvath ${1:-3d.asc}"
  window=$(wait_for_window "$shown") || fail "no window captioned $shown"
  xdotool windowfocus --sync "$window"
}
expect_clean_exit() {
  retry 50 viewer_ended || fail "$1: the viewer did not end"
  local status=0 && wait "$viewer" || status=$?
  viewer="" && [ "$status" = 0 ] || fail "$1: exit code $status"
}
# Presses Ctrl+S and waits for the complete picture (it is renamed into place when whole).
save_picture() {
  rm -f run/3d.bmp && xdotool key ctrl+s
  retry 50 test -f run/3d.bmp && cp run/3d.bmp "$1" || fail "Ctrl+S wrote no picture ($1)"
}

# Without a window: the command line, and no display at all.
run "$corvath" --frobnicate
[ "$code" = 2 ] && grep -q "unknown option --frobnicate" err || fail "an unknown option: $code"
began=$(date +%s%N) && run env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$corvath"
elapsed=$((($(date +%s%N) - began) / 1000000))
[ "$code" = 1 ] && grep -q "^3D-Corvath: no display" err && [ "$(wc -l <err)" = 1 ] ||
  fail "without a display: exit $code, $(cat err)"
[ "$elapsed" -lt 2000 ] || fail "without a display it took $elapsed ms to give up"

Xvfb -displayfd 3 -fp built-ins -dpi 200 -screen 0 1366x768x24 -nolisten tcp -noreset \
  3>display 2>xvfb.log & server=$!
retry 100 test -s display || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 display)"

# A square of side 200 around the origin, red facing the viewer at (0, 0, 0), green behind: at
# the zoom 6000 it reaches 120 pixels either side of the centre (683, 384) seen face on.
square=$(printf 'Tri-mesh, Vertices: 4 Faces: 4\n'
  printf 'Vertex %s: X: %s Y: %s Z: 0\n' 0 -100 -100 1 100 -100 2 100 100 3 -100 100
  printf 'Face %s: A:0 B:%s C:%s colore: %s\n' 0 2 1 255 1 3 2 255 2 1 2 65280 3 2 3 65280)
mkdir run && printf '%s\n' "$square" | sed 's/$/\r/' >run/3d.asc

# The same frames without a window, at the text resolutions the runs set.
for dpi in 96 120; do "$render" --mesh run/3d.asc --size 1366x768 --angles 0,0,0 --dpi $dpi \
  --out dpi$dpi.bmp >/dev/null || fail "corvath-render failed"; done

# First run: mouse, zoom, animation, Escape.
start_viewer && xdotool mousemove 0 0 && save_picture face_on.bmp
# Turned face on by the mouse: screen and status line as at 96 dots per inch, whatever the density.
same face_on.bmp dpi96.bmp "the picture differs from corvath-render's at 96 dots per inch"

# Holding the left button while moving zooms in: the square grows past 126 pixels.
xdotool_steps "mousedown 1" "mousemove 1 0" "mousemove 0 0" "mouseup 1"
save_picture zoomed.bmp && expect_red zoomed.bmp 809 384 "the left button did not zoom in"

# Space runs the random scenes; Space again brings the square back as it was.
xdotool key space && sleep 1.3 && save_picture scene.bmp && xdotool key space
[ "$(python3 bmp.py scene.bmp colours)" -gt 20 ] || fail "no generated scene after Space"
save_picture back.bmp && same zoomed.bmp back.bmp "Space did not bring the square back as it was"

# A button held while the pointer leaves the window neither zooms nor turns: the picture stays.
xdotool windowsize "$window" 600 400 windowmove "$window" 300 200 && sleep 0.3
xdotool mousemove 310 210 && save_picture in.bmp
xdotool_steps "mousedown 1" "mousemove 100 100" "mousemove 1200 700" "mouseup 1"
save_picture out.bmp && same in.bmp out.bmp "the pointer outside the window moved the model"
xdotool key Escape && expect_clean_exit "Escape"

# Second run: the desktop asks for larger text (Xft.dpi), the status line grows to match; the window
# manager's close request ends the viewer.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER $'Xcursor.size:\t24\nXft.dpi:\t120'
start_viewer && xdotool mousemove 1 1 && xdotool mousemove 0 0 && save_picture larger_text.bmp
same larger_text.bmp dpi120.bmp "the picture differs from corvath-render's at 120 dots per inch"
./close "$window" || fail "cannot send the close request"; expect_clean_exit "close request"
xprop -root -remove RESOURCE_MANAGER

# Third run: a face announced but never read raises the error box.
{ printf 'Tri-mesh, Vertices: 3 Faces: 2\r\n'
  printf 'Vertex %s: X: %s Y: %s Z: 0\r\n' 0 0 0 1 50 0 2 0 50
  printf 'Face 0: A:0 B:2 C:1 colore: 255\r\n'; } >run/3d.asc
launch && box=$(wait_for_window "3D-Corvath") || fail "no error box appeared"
# The system's box may come up for a moment and fail (no core fonts) before the program's own
# box replaces it: take the box that stays.
for _ in $(seq 30); do
  sleep 0.3 && again=$(wait_for_window "3D-Corvath") || fail "the error box went away by itself"
  [ "$again" = "$box" ] && break || box=$again
done
# A click on the box's OK button (centred, 14 pixels above the bottom edge, 26 high) closes it.
read -r box_x box_y box_width box_height <<<"$(xwininfo -id "$box" |
  awk '/Absolute upper-left [XY]|Width:|Height:/ {printf "%s ", $NF}')"
xdotool mousemove $((box_x + box_width / 2)) $((box_y + box_height - 27)) click 1
for _ in $(seq 50); do xwininfo -id "$box" >/dev/null 2>&1 && sleep 0.1; done
xwininfo -id "$box" >/dev/null 2>&1 && fail "a click on OK did not close the error box"
viewer_ended && fail "the viewer ended with the error box"
sleep 1 && window=$(wait_for_window "3D-Corvath 3d.asc") ||
  fail "the main window never showed after the error box"
xdotool windowfocus --sync "$window" mousemove 30 40 mousemove 0 0 && save_picture after_box.bmp
# The triangle faces the viewer at (0, 0, 0); 24 pixels up and left of the centre lies inside it.
expect_red after_box.bmp 659 360 "the triangle is not drawn after the error box"
viewable_window "3D-Corvath" >/dev/null && fail "the error box came back after moving the mouse"
xdotool key Escape && expect_clean_exit "after the error box"

cd run  # files that cannot be shown
run "$corvath" missing.obj
[ "$code" = 1 ] && [ "$(cat err)" = "corvath: missing.obj: No such file or directory" ] ||
  fail "a missing file: exit $code, $(cat err)"
if [ -n "$convert" ]; then
  printf '%s\n' "$square" >../square.asc
  "$convert" ../square.asc square.glb >/dev/null || fail "cannot convert square.glb"
  start_viewer square.glb && xdotool key Escape && expect_clean_exit square.glb
  head -c 40 square.glb >cut.glb
  run "$corvath" cut.glb
  [ "$code" = 1 ] && [ "$(wc -l <err)" = 1 ] && grep -q "^corvath: cut.glb: " err ||
    fail "a damaged file: exit $code, $(cat err)"
fi
echo "viewer end to end: all checks passed"
