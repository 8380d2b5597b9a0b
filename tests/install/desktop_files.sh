#!/usr/bin/env bash
# The files a desktop reads: the menu entry and the metainfo pass their validators and name,
# with the thumbnailer, the same MIME types, each known to the desktop's database or ours; ours
# compile and tell mesh text from other .asc files; the icon is there at every size. Exit 77
# without the validators.
root=$(cd "$(dirname "$0")/../.." && pwd)
desktop=$root/desktop
for tool in desktop-file-validate appstreamcli update-mime-database; do
  command -v $tool >/dev/null || { echo "SKIP: no $tool"; exit 77; }
done
work=$(mktemp -d /tmp/corvath-desktop-XXXXXX) && trap 'rm -rf "$work"' EXIT && failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

entry=("$desktop"/*.desktop) metainfo=("$desktop"/*.metainfo.xml)
[ ${#entry[@]} = 1 ] && [ ${#metainfo[@]} = 1 ] || fail "one entry and one metainfo expected"
id=$(basename "$entry" .desktop)
desktop-file-validate "$entry" >"$work/out" 2>&1 && ! [ -s "$work/out" ] ||
  fail "desktop-file-validate: $(cat "$work/out")"
appstreamcli validate --no-net "$metainfo" >"$work/out" 2>&1 || fail "appstreamcli: $(cat "$work/out")"

# The sorted types of the entry, and those of the thumbnailer and the metainfo, the same.
types() { sed -n "s/^MimeType=//p" "$1" | tr ';' '\n' | sed '/^$/d' | sort; }
types "$entry" >"$work/entry"
[ -s "$work/entry" ] || fail "the entry names no MIME type"
types "$desktop/corvath.thumbnailer" >"$work/thumbnailer"
sed -n 's|.*<mediatype>\(.*\)</mediatype>.*|\1|p' "$metainfo" | sort >"$work/metainfo"
for other in thumbnailer metainfo; do
  cmp -s "$work/entry" "$work/$other" ||
    fail "the $other's types differ from the entry's: $(diff "$work/entry" "$work/$other" | grep '^[<>]')"
done

# Known: a type or an alias of the installed database, or ours, which add what it lacks.
sed -n 's|.*<mime-type type="\([^"]*\)".*|\1|p' "$desktop/corvath-mime.xml" | sort >"$work/ours"
{ cat /usr/share/mime/types; cut -d' ' -f1 /usr/share/mime/aliases; } 2>/dev/null | sort -u >"$work/system"
[ -s "$work/system" ] || { echo "SKIP: no MIME database in /usr/share/mime"; exit 77; }
while read -r type; do
  grep -qxF "$type" "$work/ours" "$work/system" || fail "$type is unknown to the MIME database"
done <"$work/entry"
while read -r type; do
  ! grep -qxF "$type" "$work/system" || fail "$type is defined by the database already"
  grep -qxF "$type" "$work/entry" || fail "$type is defined but not offered by the entry"
done <"$work/ours"

for line in "Exec=corvath --desktop %f" "Icon=corvath"; do grep -qx "$line" "$entry" || fail "the entry lacks $line"; done
for line in "<launchable type=\"desktop-id\">$id.desktop</launchable>" "<id>$id</id>"; do
  grep -qF "$line" "$metainfo" || fail "the metainfo lacks $line"
done

# Every icon a PNG of its folder's size: width and height are bytes 16 to 23 of the file.
for size in 16 22 24 32 48 64 128 256 512; do
  icon=$desktop/icons/${size}x$size/corvath.png
  [ "$(od -An -tx1 -N24 "$icon" 2>/dev/null | tr -d ' \n')" = \
    "$(printf '89504e470d0a1a0a0000000d49484452%08x%08x' "$size" "$size")" ] || fail "$icon is not a ${size}x$size PNG"
done

# Compiled beside the installed database, ours tell mesh text, whatever the case of its headers,
# from PGP text and notes that share .asc; the other formats by name and by content.
mkdir -p "$work/share/mime/packages" "$work/files" && cp "$desktop/corvath-mime.xml" "$work/share/mime/packages/"
update-mime-database "$work/share/mime" >"$work/out" 2>&1 || fail "update-mime-database: $(cat "$work/out")"
grep -qx "model/x-corvath-mesh" "$work/share/mime/types" || fail "the compiled database lacks our types"
command -v gio >/dev/null || exit $failed
cd "$work/files" && cp "$root/examples/3d.asc" sample.asc && cp "$root/examples/knot.ply" knot.ply && cp knot.ply knot.bin
printf 'a note\r\n\r\nTRI-MESH, VERTICES: 3 FACES: 1\r\n' >upper.asc
printf -- '-----BEGIN PGP MESSAGE-----\n\nhQEMAw\n-----END PGP MESSAGE-----\n' >message.asc
printf 'shopping: bread, milk\n' >notes.asc
printf 'OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n' >triangle.off
printf '<?xml version="1.0"?>\n<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1"/>\n' >scene.dae
for expected in sample.asc=model/x-corvath-mesh upper.asc=model/x-corvath-mesh \
  message.asc=application/pgp-encrypted notes.asc=text/plain knot.ply=model/x-ply \
  knot.bin=model/x-ply triangle.off=model/x-off scene.dae=model/vnd.collada+xml; do
  type=$(XDG_DATA_DIRS="$work/share:/usr/share" XDG_DATA_HOME="$work/none" \
    gio info -a standard::content-type "${expected%%=*}" | sed -n 's/.*content-type: //p')
  [ "$type" = "${expected#*=}" ] || fail "${expected%%=*} is seen as '$type', not ${expected#*=}"
done
[ $failed = 0 ] && echo "desktop files: all checks passed"
exit $failed
