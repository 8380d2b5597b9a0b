#!/usr/bin/env bash
# The entry, the thumbnailer and the metainfo name the same MIME types, each known to the desktop's
# database or ours; ours tell mesh text from other .asc files; icons at every size. 77: no tools.
root=$(cd "$(dirname "$0")/../.." && pwd) && desktop=$root/desktop
command -v update-mime-database >/dev/null || { echo "SKIP: no update-mime-database"; exit 77; }
work=$(mktemp -d /tmp/corvath-desktop-XXXXXX) && trap 'rm -rf "$work"' EXIT && failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
entry=("$desktop"/*.desktop) metainfo=("$desktop"/*.metainfo.xml) id=$(basename "$entry" .desktop)
types() { sed -n 's/^MimeType=//p; s|.*<mediatype>\(.*\)</.*|\1|p' "$1" | tr -s ';' '\n' | sort; }
cd "$work" && types "$entry" >entry && [ -s entry ] || fail "the entry names no MIME type"
types "$desktop/corvath.thumbnailer" >thumbnailer && types "$metainfo" >metainfo
for other in thumbnailer metainfo; do
  cmp -s entry $other || fail "the $other's types differ: $(diff entry $other | grep '^[<>]')"
done
# Known: a type or an alias of the installed database, or ours, which add only what it lacks.
sed -n 's|.*<mime-type type="\([^"]*\)".*|\1|p' "$desktop/corvath-mime.xml" | sort >ours
{ cat /usr/share/mime/types; cut -d' ' -f1 /usr/share/mime/aliases; } 2>/dev/null | sort -u >system
[ -s system ] || { echo "SKIP: no MIME database in /usr/share/mime"; exit 77; }
for type in $(comm -23 entry <(sort -u ours system)); do fail "$type is unknown"; done
for type in $(sort -u <(comm -12 ours system) <(comm -23 ours entry)); do
  fail "$type: in the database, or not offered"; done
grep -qx "Exec=corvath --desktop %f" "$entry" && grep -qx "Icon=corvath" "$entry" ||
  fail "the entry's Exec or Icon"
launchable="<launchable type=\"desktop-id\">$id.desktop</launchable>"
grep -qF "$launchable" "$metainfo" || fail "the metainfo's launchable"
# Every icon a PNG of its folder's size (width and height are bytes 16 to 23).
for size in 16 22 24 32 48 64 128 256 512; do
  png=$(od -An -tx1 -N24 "$desktop/icons/${size}x$size/corvath.png" 2>/dev/null | tr -d ' \n')
  [ "$png" = "$(printf '89504e470d0a1a0a0000000d49484452%08x%08x' $size $size)" ] ||
    fail "no ${size}x$size icon"
done
# Compiled beside the installed database, ours tell mesh text (headers in any case) from PGP text
# and notes that share .asc; the other formats by name and by content.
mkdir -p share/mime/packages files && cp "$desktop/corvath-mime.xml" share/mime/packages/
update-mime-database share/mime >out 2>&1 || fail "update-mime-database: $(cat out)"
command -v gio >/dev/null || exit $failed
cd files && cp "$root/examples/3d.asc" sample.asc && cp "$root/examples/knot.ply" knot.ply
cp knot.ply knot.bin && printf 'a note\r\n\r\nTRI-MESH, VERTICES: 3 FACES: 1\r\n' >upper.asc
printf -- '-----BEGIN PGP MESSAGE-----\n\nhQEMAw\n-----END PGP MESSAGE-----\n' >message.asc
printf 'OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n' >triangle.off
printf '<?xml version="1.0"?>\n' >scene.dae && printf 'shopping: bread, milk\n' >notes.asc
echo '<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1"/>' >>scene.dae
for expected in sample.asc=model/x-corvath-mesh upper.asc=model/x-corvath-mesh \
  message.asc=application/pgp-encrypted notes.asc=text/plain knot.ply=model/x-ply \
  knot.bin=model/x-ply triangle.off=model/x-off scene.dae=model/vnd.collada+xml; do
  type=$(XDG_DATA_DIRS="$work/share:/usr/share" XDG_DATA_HOME="$work/none" \
    gio info -a standard::content-type "${expected%%=*}" | sed -n 's/.*content-type: //p')
  [ "$type" = "${expected#*=}" ] || fail "${expected%%=*} is seen as '$type', not ${expected#*=}"
done
exit $failed
