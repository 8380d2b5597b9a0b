#!/usr/bin/env bash
# corvath-render frames an imported model so that it is seen whole at every angle, whatever its
# size and place: boxes of 10^-4, 1 and 10^7 units and one at large negative coordinates each
# span 40 to 95 % of the picture's shorter side and stay inside it. A damaged or missing model
# is exit 1 with one line and no picture.
# Usage: render_framing.sh PATH_TO_CORVATH_RENDER [PATH_TO_CORVATH_CONVERT]
render=$1
convert=${2:-}
# Only a build with the converter imports PLY and OBJ.
if [ -z "$convert" ] || [ ! -x "$convert" ]; then
  echo "SKIP: corvath-convert is not built, so models are not imported" && exit 77
fi
work=$(mktemp -d /tmp/corvath-framing-XXXXXX) && trap 'rm -rf "$work"' EXIT && failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# name, format, least corner, side lengths: small cube, unit cube, large cube, and a flatter box
# wholly at negative coordinates.
python3 - "$work" <<'PY' || exit 1
import sys
boxes = [("tiny", "ply", (2e-4, 3e-4, -1e-4), (1e-4, 1e-4, 1e-4)),
         ("unit", "ply", (0.5, 0.5, 0.5), (1, 1, 1)),
         ("huge", "obj", (1e7, 0, 2e7), (1e7, 1e7, 1e7)),
         ("negative", "obj", (-5e6, -5e6, -5e6), (1e6, 8e5, 6e5))]
# Corners by bits x, y, z; each side two triangles wound outward.
quads = [(0, 2, 3, 1), (4, 5, 7, 6), (0, 1, 5, 4), (2, 6, 7, 3), (0, 4, 6, 2), (1, 3, 7, 5)]
for name, kind, low, side in boxes:
    corners = [[low[a] + side[a] * (i >> a & 1) for a in range(3)] for i in range(8)]
    triangles = [t for q in quads for t in ((q[0], q[1], q[2]), (q[0], q[2], q[3]))]
    with open(f"{sys.argv[1]}/{name}.{kind}", "w") as out:
        if kind == "ply":
            out.write("ply\nformat ascii 1.0\nelement vertex 8\nproperty float x\n"
                      "property float y\nproperty float z\nelement face 12\n"
                      "property list uchar int vertex_indices\nend_header\n")
            out.writelines(" ".join(repr(c) for c in p) + "\n" for p in corners)
            out.writelines("3 %d %d %d\n" % t for t in triangles)
        else:
            out.writelines("v " + " ".join(repr(c) for c in p) + "\n" for p in corners)
            out.writelines("f %d %d %d\n" % tuple(i + 1 for i in t) for t in triangles)
PY

# Prints the painted region's width and height and whether it keeps off the picture's edges.
painted() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
offset, = struct.unpack_from("<I", data, 10)
width, height = struct.unpack_from("<ii", data, 18)
stride = (width * 3 + 3) // 4 * 4
xs, ys = [], []
for row in range(height):
    line = data[offset + row * stride:offset + row * stride + width * 3]
    painted = [x for x in range(width) if line[3 * x:3 * x + 3] != b"\x80\x80\x80"]
    if painted:
        xs += [painted[0], painted[-1]]
        ys.append(height - 1 - row)
if not xs:
    print(0, 0, "outside")
else:
    inside = min(xs) > 0 and min(ys) > 0 and max(xs) < width - 1 and max(ys) < height - 1
    print(max(xs) - min(xs) + 1, max(ys) - min(ys) + 1, "inside" if inside else "outside")
PY
}

for model in tiny.ply unit.ply huge.obj negative.obj; do
  for angles in 0,0,0 30,45,60 210,7,90 90,0,0 0,90,0 123,-77,301; do
    picture="$work/picture.bmp"
    rm -f "$picture"
    if ! "$render" --mesh "$work/$model" --size 640x480 --no-status --angles "$angles" \
      --out "$picture" >/dev/null 2>"$work/err"; then
      fail "$model at $angles not drawn: $(cat "$work/err")" && continue
    fi
    read -r wide high place <<<"$(painted "$picture")"
    larger=$((wide > high ? wide : high))
    # 40 % and 95 % of the shorter side, 480.
    if [ "$larger" -lt 192 ] || [ "$larger" -gt 456 ] || [ "$place" != inside ]; then
      fail "$model at $angles spans ${wide}x${high} pixels, $place"
    fi
  done
done

# A damaged or missing model: exit 1, one line on stderr, no picture.
# Cut short in its vertices; cuts inside the header or the faces are left out: the import
# library loops or aborts on them inside this process.
head -n 11 "$work/unit.ply" >"$work/short.ply"
printf 'ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nend_header\n1\nx\n' >"$work/bad.ply"
printf 'garbage\001\002' >"$work/junk.stl"
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\n' >"$work/points.obj"
for model in short.ply bad.ply junk.stl points.obj missing.obj; do
  "$render" --mesh "$work/$model" --size 64x48 --out "$work/none.bmp" >/dev/null 2>"$work/err"
  code=$?
  if [ $code != 1 ] || [ -e "$work/none.bmp" ] || [ "$(wc -l <"$work/err")" != 1 ] ||
    ! grep -qF "corvath-render: $work/$model: " "$work/err"; then
    fail "$model not refused with exit 1 ($code): $(cat "$work/err")"
    rm -f "$work/none.bmp"
  fi
done
exit $failed
