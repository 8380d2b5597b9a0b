#!/usr/bin/env bash
# The thumbnailer as a desktop runs it, by the Exec line of desktop/corvath.thumbnailer: models
# become square PNGs of the asked size that show something; files built to exhaust memory or time
# end within the caps with no picture and nothing left running. Exit 77 without the converter,
# as the import it runs is then not built. Usage: thumbnailer.sh CORVATH_RENDER [CORVATH_CONVERT]
render=$1
[ -n "${2:-}" ] || { echo "SKIP: built without the import library"; exit 77; }
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/corvath-thumbnailer-XXXXXX) && trap 'rm -rf "$work"' EXIT && failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

exec_line=$(sed -n 's/^Exec=//p' "$root/desktop/corvath.thumbnailer")
[[ $exec_line == "corvath-render "* ]] || { echo "FAIL: Exec runs no corvath-render: $exec_line"; exit 1; }
# Runs the Exec line for SIZE INPUT OUTPUT, corvath-render taken from the build.
thumbnail() {
  local words=($exec_line)
  words=("${words[@]/#corvath-render/$render}") && words=("${words[@]/#%s/$1}")
  words=("${words[@]/#%i/$2}") && "${words[@]/#%o/$3}"
}

# "WIDTHxHEIGHT COLOURS" of an 8-bit RGB or RGBA PNG, decoded in full (all five row filters).
pngFacts() {
  python3 - "$1" <<'EOF'
import struct, sys, zlib
data, at, idat = open(sys.argv[1], 'rb').read(), 8, b''
assert data[:8] == b'\x89PNG\r\n\x1a\n'
while at < len(data):
    length, kind = struct.unpack('>I4s', data[at:at + 8])
    if kind == b'IHDR': width, height, depth, colour = struct.unpack('>IIBB', data[at + 8:at + 18])
    if kind == b'IDAT': idat += data[at + 8:at + 8 + length]
    at += 12 + length
assert depth == 8 and colour in (2, 6)
step = 3 if colour == 2 else 4
raw, stride, colours, up = zlib.decompress(idat), width * step, set(), bytearray(width * step)
for y in range(height):
    kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for x in range(stride):
        a, b, c = (line[x - step], up[x], up[x - step]) if x >= step else (0, up[x], 0)
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        line[x] = (line[x] + (0, a, b, (a + b) // 2,
                              a if pa <= pb and pa <= pc else b if pb <= pc else c)[kind]) & 255
    colours |= {bytes(line[x:x + 3]) for x in range(0, stride, step)}
    up = line
print(f'{width}x{height} {len(colours)}')
EOF
}

printf 'v %s\n' '0 0 0' '1 0 0' '1 1 0' '0 1 0' '0 0 1' '1 0 1' '1 1 1' '0 1 1' >"$work/cube.obj"
printf 'f %s\n' '1 4 3 2' '5 6 7 8' '1 2 6 5' '2 3 7 6' '3 4 8 7' '4 1 5 8' >>"$work/cube.obj"
cp "$root/examples/3d.asc" "$work/sample.asc"
# The least colours each shows: the background and, of the cube (six quads), three faces lit
# differently.
for job in "sample.asc 256 20" "sample.asc 1 1" "cube.obj 48 4" "cube.obj 128 4"; do
  read -r model size least <<<"$job"
  thumbnail "$size" "$work/$model" "$work/$model-$size.png" >/dev/null 2>"$work/err" ||
    { fail "$model at $size: exit $? ($(cat "$work/err"))"; continue; }
  read -r shape colours <<<"$(pngFacts "$work/$model-$size.png")"
  [ "$shape" = "${size}x$size" ] && [ "$colours" -ge "$least" ] || fail "$model at $size: $shape, $colours colours"
done
for size in 0 4097 x; do
  thumbnail "$size" "$work/sample.asc" "$work/refused.png" >/dev/null 2>&1
  [ $? = 2 ] && ! [ -e "$work/refused.png" ] || fail "size $size not refused"
done

# Each damaged file: a non-zero exit within the caps, no picture or temporary file, no import
# still running. The memory cap ends the first two at once (the import library asks for the
# billions of bytes they announce); the sanitizers' builds have none (CORVATH_MEMORY_UNCAPPED):
# there the time caps end them.
printf 'ply\nformat ascii 1.0\nelement vertex 100000000\nproperty float x\nproperty float y\nproperty float z\nelement face 100000000\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n' \
  >"$work/announced.ply"
printf 'OFF\n2000000000 2000000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n' >"$work/announced.off"
# A header cut short sends the import library round a loop: its child's processor time ends a
# small file, the thumbnail's 20 seconds of wall-clock time one large enough to be given longer.
printf 'ply\nformat binary_little_endian 1.0\nelement vertex 3\nprop' >"$work/cut.ply"
{ printf 'ply\nformat binary_little_endian 1.0\ncomment '; head -c 100000000 /dev/zero | tr '\0' x
  printf '\nelement vertex 3\nprop'; } >"$work/stalled.ply"
mkdir "$work/out"
for job in "announced.ply 3" "announced.off 3" "cut.ply 22" "stalled.ply 22"; do
  read -r model seconds <<<"$job"
  [ -z "${CORVATH_MEMORY_UNCAPPED:-}" ] || seconds=22
  started=$SECONDS
  thumbnail 128 "$work/$model" "$work/out/$model.png" >/dev/null 2>"$work/err" && fail "$model drawn"
  [ $((SECONDS - started)) -le "$seconds" ] || fail "$model took $((SECONDS - started)) s, more than $seconds"
  [ -z "$(ls -A "$work/out")" ] || fail "$model left $(ls -A "$work/out")"
  ! pgrep -f "$work/$model" >/dev/null || fail "$model is still being imported"
  [ "$model" != announced.ply ] || [ -n "${CORVATH_MEMORY_UNCAPPED:-}" ] || grep -q "too large" "$work/err" ||
    fail "$model was not stopped by the memory cap: $(cat "$work/err")"
done
[ $failed = 0 ] && echo "thumbnailer: all checks passed"
exit $failed
