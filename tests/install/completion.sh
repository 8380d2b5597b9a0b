#!/usr/bin/env bash
# The bash completions offer the options, --format's values, and only the files each program takes,
# in any case, with folders; the extensions the converter reads and writes. Usage:
# completion.sh COMPLETIONS_FOLDER [PATH_TO_CORVATH_CONVERT]
completions=$(cd "$1" && pwd) convert=${2:-}
work=$(mktemp -d /tmp/corvath-completion-XXXXXX) && trap 'rm -rf "$work"' EXIT && failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
# "expect OFFERS... -- COMMAND WORDS...": fails unless the completion of the command, run in the
# files folder for the words (the last being the one completed), offers exactly the offers.
expect() {
  local wanted=() got && while [ "$1" != -- ]; do wanted+=("$1") && shift; done && shift
  got=$(cd "$work/files" && bash -c 'source "$0" || exit 1
    function=$(complete -p "$1" | sed -nE "s/.*-F ([^ ]+) .*/\\1/p")
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1))
    "$function" && printf "%s\n" "${COMPREPLY[@]}"' "$completions/$1" "$@" | sort | xargs)
  [ "$got" = "$(printf '%s\n' "${wanted[@]}" | sort | xargs)" ] || fail "'$*' offers [$got]"
}

mkdir -p "$work/files/d" && touch "$work/files/"{a.glb,b.txt,c.STL,e.Png,f.bmp,g.fbx,h.mesh.xml}
models=(a.glb c.STL d/ g.fbx h.mesh.xml)
expect --format -- corvath-render --fo; expect png bmp -- corvath-render --format ''
expect "${models[@]}" -- corvath-render --out x.png --mesh ''; expect --mesh -- corvath-render --me
expect d/ e.Png f.bmp -- corvath-render --out ''; expect -- corvath-render --size ''
expect "${models[@]}" -- corvath ''; expect --watch -- corvath --w; expect -- corvath --help ''
expect a.glb -- corvath --watch a; expect -- corvath-convert --list-formats ''
expect "${models[@]}" -- corvath-convert --frame ''; expect -- corvath-convert g.fbx a.glb ''
expect a.glb c.STL d/ -- corvath-convert g.fbx ''; expect --fit --frame -- corvath-convert a.glb --f
expect --fit --frame --help --list-formats --version -- corvath-convert --

# Every extension the converter lists, in capitals: offered where it reads; where it writes, those.
[ -n "$convert" ] || exit $failed
rm -rf "$work/files" && mkdir "$work/files"
formats=$("$convert" --list-formats) || { fail "--list-formats is not exit 0"; exit 1; }
read=$(sed -n '/^read/,/^written/{s/^  \.\([^ ]*\).*/M.\1/p}' <<<"$formats" | tr a-z A-Z)
written=$(sed -n '/^written/,${s/^  \.\([^ ]*\).*/M.\1/p}' <<<"$formats" | tr a-z A-Z)
[ -n "$read" ] && [ -n "$written" ] || { fail "no formats in --list-formats"; exit 1; }
for name in $read; do touch "$work/files/$name"; done
for command in corvath "corvath-render --mesh" corvath-convert; do expect $read -- $command ''; done
expect $written -- corvath-convert M.OBJ ''
exit $failed
