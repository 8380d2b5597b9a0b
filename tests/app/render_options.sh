#!/usr/bin/env bash
# corvath-render refuses what it cannot honour, with its usage and exit code 2, before drawing
# anything; what it accepts draws a picture. Usage: render_options.sh PATH_TO_CORVATH_RENDER
set -uo pipefail
render=$1
work=$(mktemp -d /tmp/corvath-options-XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
refused() {
  rm -f "$work/refused.bmp"
  "$render" --mesh /dev/null --out "$work/refused.bmp" "$@" >/dev/null 2>"$work/err"
  local code=$?
  if [ "$code" != 2 ] || ! grep -q "^usage:" "$work/err" || [ -e "$work/refused.bmp" ]; then
    echo "FAIL: not refused ($code): $*" >&2
    failed=1
  fi
}
refused --angles 1,2
refused --angles 1,x,3
refused --angles 1,2,3,4
refused --size 640
refused --size 0x480
refused --frames 0
refused --zoom -1
refused --dpi 0
refused --out ""
refused --colour red
refused --mesh
"$render" --mesh /dev/null --size 64x48 --angles 1.5,-2,370 --zoom 3 --out "$work/good.bmp" \
  >/dev/null 2>&1 && [ -s "$work/good.bmp" ] || { echo "FAIL: good options refused" >&2; failed=1; }
exit $failed
