#!/usr/bin/env bash
# corvath-render refuses what it cannot honour, naming the argument, with exit code 2 and before
# drawing anything; a model it cannot open is exit 1; what it accepts draws, to a file or to
# standard output. Usage: render_options.sh PATH_TO_CORVATH_RENDER
render=$(realpath "$1") work=$(mktemp -d /tmp/corvath-options-XXXXXX) failed=0
trap 'rm -rf "$work"' EXIT && cd "$work" || exit 1
fail() { echo "FAIL: $*" >&2; failed=1; }

# A square of two faces without a colour, which therefore take the start colour.
printf '%s\r\n' 'Tri-mesh, Vertices: 4 Faces: 2' 'Vertex 0: X: -100 Y: -100 Z: 0' \
  'Vertex 1: X: 100 Y: -100 Z: 0' 'Vertex 2: X: 100 Y: 100 Z: 0' 'Vertex 3: X: -100 Y: 100 Z: 0' \
  'Face 0: A:0 B:1 C:2' 'Face 1: A:0 B:2 C:3' >square.asc
draw() { "$render" --mesh square.asc --size 64x48 --no-status "$@"; }

# Each refusal: the argument named on the first of two lines on stderr, and no picture.
for options in "--angles 1,2" "--angles 1,x,3" "--angles 1,2,3,4" "--size 640" "--size 0x480" \
  "--size 640x0" "--size 16385x10" "--frames 0" "--zoom -1" "--dpi 0" "--format gif" \
  "--seed x" "--scene inf" "--out" "--colour red" "--mesh" "stray"; do
  draw --out refused.bmp $options >out 2>err; code=$?
  [ $code = 2 ] && ! [ -e refused.bmp ] && ! [ -s out ] && [ "$(wc -l <err)" = 2 ] &&
    head -n1 err | grep -qF -- "${options%% *}" && tail -n1 err | grep -q -- "--help" ||
    { fail "not refused as it should be ($code): $options: $(head -n1 err)"; rm -f refused.bmp; }
done

help=$("$render" --help) || fail "--help is not exit 0"  # and names every option
for option in --mesh --size --angles --out --format --seed --frames --scene --zoom --dpi --version \
  --no-status; do [[ $help == *$option* ]] || fail "--help does not mention $option"; done

# A model that cannot be opened: one line naming it, exit 1, an existing picture left alone.
: >empty.asc && mkdir folder.asc && echo 'no mesh here' >words.asc
for model in missing.asc empty.asc folder.asc words.asc; do echo kept >kept.bmp
  "$render" --mesh "$model" --size 64x48 --out kept.bmp >/dev/null 2>err; code=$?
  [ $code = 1 ] && [ "$(<kept.bmp)" = kept ] && grep -qF "corvath-render: $model: " err &&
    [ "$(wc -l <err)" = 1 ] || fail "$model not refused with exit 1 ($code): $(<err)"
done

draw --angles 1.5,-2,370 --zoom 3 --out good.bmp >/dev/null 2>&1 && [ -s good.bmp ] ||
  fail "good options refused"
"$render" --scene 43210.5 --mesh missing.asc --size 64x48 --out /dev/null >/dev/null ||
  fail "a scene needs a model file"  # it reads none, not even a missing one

# Standard output holds the picture alone, PNG unless told, the same as the file's; the seed fixes
# the colour of faces without one.
draw --seed 7 --out seven.png >/dev/null || fail "no PNG file"
draw --seed 7 --out - >stdout.png 2>err || fail "no picture on standard output"
cmp -s seven.png stdout.png || fail "standard output differs from the PNG file"
grep -q '^vertices=4 faces=2 ' err || fail "the counts are not on stderr"
draw --seed 8 --out - 2>/dev/null | cmp -s - stdout.png && fail "another seed draws the same"
draw --out - --format bmp --frames 2 2>err | head -c2 | grep -q BM || fail "--format bmp is not BMP"
grep -q '^median_ms=' err || fail "the frame times are not on stderr"
draw --seed 7 --format bmp --out seven.png >/dev/null && [ "$(head -c 2 seven.png)" = BM ] ||
  fail "--format does not win over the name"

# A write that fails is exit 1 with a message: a reader gone (the picture outgrows the pipe's
# buffer) and a full device.
"$render" --mesh square.asc --size 640x480 --format bmp --out - 2>err | head -c 1 >/dev/null
code=${PIPESTATUS[0]}
[ "$code" = 1 ] && grep -q 'standard output: ' err || fail "a closed pipe is not exit 1 ($code)"
[ -w /dev/full ] && { ! draw --out - >/dev/full 2>err && grep -q 'standard output: ' err ||
  fail "a full device is not refused"; }
exit $failed
