#!/usr/bin/env bash
# The thumbnailer as a desktop runs it, by the Exec line of desktop/corvath.thumbnailer: square
# PNGs of the asked size; files built to exhaust memory or time end within the caps with no
# picture and nothing left running. Exit 77 without the converter (no import).
# Usage: thumbnailer.sh CORVATH_RENDER [CORVATH_CONVERT]
render=$(realpath "$1") root=$(cd "$(dirname "$0")/../.." && pwd)
[ -n "${2:-}" ] || { echo "SKIP: built without the import library"; exit 77; }
work=$(mktemp -d /tmp/corvath-thumbnailer-XXXXXX) && trap 'rm -rf "$work"' EXIT && failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
exec_line=$(sed -n 's/^Exec=//p' "$root/desktop/corvath.thumbnailer")
[[ $exec_line == corvath-render\ * ]] || { fail "Exec runs no corvath-render: $exec_line"; exit 1; }
# Runs the Exec line for SIZE INPUT OUTPUT, corvath-render taken from the build.
thumbnail() {
  local words=($exec_line) && words=("${words[@]/#corvath-render/$render}")
  words=("${words[@]/#%s/$1}") && words=("${words[@]/#%i/$2}") && "${words[@]/#%o/$3}"
}

# Square PNGs of the asked size (width and height: bytes 16 to 23); scripts/package looks inside.
cd "$work" && cp "$root/examples/3d.asc" sample.asc
for size in 1 48 256; do
  thumbnail "$size" sample.asc "$size.png" >/dev/null 2>err || fail "size $size: $(cat err)"
  png=$(od -An -tx1 -N24 "$size.png" | tr -d ' \n')
  [ "$png" = "$(printf '89504e470d0a1a0a0000000d49484452%08x%08x' "$size" "$size")" ] ||
    fail "the thumbnail at $size is not a ${size}x$size PNG"
done
for size in 0 4097 x; do
  thumbnail "$size" sample.asc refused.png >/dev/null 2>&1
  [ $? = 2 ] && ! [ -e refused.png ] || fail "size $size not refused"
done

# Each damaged file: a non-zero exit within the caps, no picture or temporary file, no import still
# running. The memory cap ends the first two at once (the import asks for the billions of bytes
# they announce); without it (CORVATH_MEMORY_UNCAPPED, the sanitizers' builds) the time caps do.
{ printf '%s\n' ply 'format ascii 1.0' 'element vertex 100000000' 'property float '{x,y,z}
  printf '%s\n' 'element face 100000000' 'property list uchar int vertex_indices' end_header
  printf '0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n'; } >announced.ply
printf 'OFF\n2000000000 2000000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n' >announced.off
# A header cut short sends the import library round a loop: its child's processor time ends a
# small file, the thumbnail's 20 seconds of wall-clock time one large enough to be given longer.
printf 'ply\nformat binary_little_endian 1.0\nelement vertex 3\nprop' >cut.ply
{ printf 'ply\nformat binary_little_endian 1.0\ncomment '; head -c 100000000 /dev/zero | tr '\0' x
  printf '\nelement vertex 3\nprop'; } >stalled.ply
mkdir out
for job in "announced.ply 3" "announced.off 3" "cut.ply 22" "stalled.ply 22"; do
  read -r model seconds <<<"$job" && [ -z "$CORVATH_MEMORY_UNCAPPED" ] || seconds=22
  SECONDS=0 && thumbnail 128 "$work/$model" out/$model.png >/dev/null 2>err && fail "$model drawn"
  [ $SECONDS -le $seconds ] || fail "$model took $SECONDS s, more than $seconds"
  [ -z "$(ls -A out)" ] || fail "$model left $(ls -A out)"
  ! pgrep -f "$work/$model" >/dev/null || fail "$model is still being imported"
  [ "$model" != announced.ply ] || [ -n "$CORVATH_MEMORY_UNCAPPED" ] || grep -q "too large" err ||
    fail "$model was not stopped by the memory cap: $(cat err)"
done
exit $failed
