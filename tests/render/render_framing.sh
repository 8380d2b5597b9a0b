#!/usr/bin/env bash
# corvath-render frames an imported model so that it is seen whole at every angle, whatever its
# size and place: each box spans 40 to 95 % of the shorter side and stays inside. Exit 77 without
# the converter (no import). Usage: render_framing.sh CORVATH_RENDER [CORVATH_CONVERT]
render=$(realpath "$1") failed=0
[ -x "$2" ] || { echo "SKIP: corvath-convert is not built, so models are not imported"; exit 77; }
work=$(mktemp -d /tmp/corvath-framing-XXXXXX) && trap 'rm -rf "$work"' EXIT && cd "$work"
fail() { echo "FAIL: $*" >&2; failed=1; }
# "box NAME LEAST_CORNER SIDES" writes NAME.obj, each face two triangles wound outward;
# "painted PICTURE" prints the painted region's width and height and whether it keeps off the edges.
cat >tool.py <<'PY'
import struct, sys
if sys.argv[1] == "box":
    low, side = [[float(c) for c in a.split(",")] for a in sys.argv[3:5]]
    with open(sys.argv[2], "w") as out:
        for i in range(8):
            print("v", *(repr(low[a] + side[a] * (i >> a & 1)) for a in range(3)), file=out)
        for q in (1, 3, 4, 2), (5, 6, 8, 7), (1, 2, 6, 5), (3, 7, 8, 4), (1, 5, 7, 3), (2, 4, 8, 6):
            out.write("f %d %d %d\nf %d %d %d\n" % (q[0], q[1], q[2], q[0], q[2], q[3]))
    sys.exit()
data = open(sys.argv[2], "rb").read()
offset, = struct.unpack_from("<I", data, 10)
width, height = struct.unpack_from("<ii", data, 18)
stride = (width * 3 + 3) // 4 * 4
points = [(x, y) for y in range(height) for x in range(width)
          if data[offset + y * stride + 3 * x:offset + y * stride + 3 * x + 3] != b"\x80\x80\x80"]
xs, ys = [p[0] for p in points] or [0], [p[1] for p in points] or [0]
inside = points and min(xs) > 0 and min(ys) > 0 and max(xs) < width - 1 and max(ys) < height - 1
print(max(xs) - min(xs) + 1, max(ys) - min(ys) + 1, "inside" if inside else "outside")
PY

for box in "tiny 2e-4,3e-4,-1e-4 1e-4,1e-4,1e-4" "unit 0.5,0.5,0.5 1,1,1" \
  "huge 1e7,0,2e7 1e7,1e7,1e7" "negative -5e6,-5e6,-5e6 1e6,8e5,6e5"; do
  read -r name low side <<<"$box"
  python3 tool.py box $name.obj "$low" "$side" || exit 1
  for angles in 0,0,0 30,45,60 210,7,90 90,0,0 0,90,0 123,-77,301; do
    rm -f picture.bmp
    "$render" --mesh $name.obj --size 640x480 --no-status --angles "$angles" --out picture.bmp \
      >/dev/null 2>err || { fail "$name at $angles not drawn: $(cat err)"; continue; }
    read -r wide high place <<<"$(python3 tool.py painted picture.bmp)"
    larger=$((wide > high ? wide : high))  # 40 % and 95 % of 480 below
    [ "$larger" -ge 192 ] && [ "$larger" -le 456 ] && [ "$place" = inside ] ||
      fail "$name at $angles spans ${wide}x${high} pixels, $place"
  done
done

exit $failed
