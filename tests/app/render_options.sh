#!/usr/bin/env bash
# corvath-render refuses what it cannot honour, with its usage and exit code 2, before drawing
# anything; what it accepts draws. Usage: render_options.sh PATH_TO_CORVATH_RENDER
render=$1
work=$(mktemp -d /tmp/corvath-options-XXXXXX) && trap 'rm -rf "$work"' EXIT && failed=0
for options in "--angles 1,2" "--angles 1,x,3" "--angles 1,2,3,4" "--size 640" "--size 0x480" "--size 640x0" \
  "--frames 0" "--zoom -1" "--dpi 0" "--out" "--colour red" "--mesh"; do
  "$render" --mesh /dev/null --out "$work/refused.bmp" $options >/dev/null 2>"$work/err"
  code=$?
  if [ $code != 2 ] || ! grep -q "^usage:" "$work/err" || [ -e "$work/refused.bmp" ]; then
    echo "FAIL: not refused ($code): $options" >&2 && failed=1 && rm -f "$work/refused.bmp"
  fi
done
"$render" --mesh /dev/null --size 64x48 --angles 1.5,-2,370 --zoom 3 --out "$work/good.bmp" \
  >/dev/null 2>&1 && [ -s "$work/good.bmp" ] || { echo "FAIL: good options refused" >&2; failed=1; }
exit $failed
