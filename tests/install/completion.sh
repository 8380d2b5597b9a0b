#!/usr/bin/env bash
# The bash completions offer the options, the values of --format, and only the files each
# program takes, in any case, with folders; with the converter given, their extension lists are
# those it reads and writes. Usage: completion.sh COMPLETIONS_FOLDER [PATH_TO_CORVATH_CONVERT]
completions=$(cd "$1" && pwd) convert=${2:-}
work=$(mktemp -d /tmp/corvath-completion-XXXXXX) && trap 'rm -rf "$work"' EXIT && failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# What the completion of the command offers for the words, the last being the one completed,
# sorted, one per line; run in the work folder.
offers() {
  (cd "$work/files" && bash -c 'source "$0" || { echo "(not loaded)"; exit 1; }
    function=$(complete -p "$1" | sed -nE "s/.*-F ([^ ]+) .*/\\1/p")
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1))
    "$function" && printf "%s\n" "${COMPREPLY[@]}"' "$completions/$1" "$@") | sort
}
# Fails unless the offers for the words (after --) are exactly the expected ones.
expect() {
  local wanted=() got want
  while [ "$1" != -- ]; do wanted+=("$1") && shift; done
  shift
  got=$(offers "$@")
  want=$(printf '%s\n' "${wanted[@]}" | sed '/^$/d' | sort)
  [ "$got" = "$want" ] || fail "'$*' offers [$(comm -23 <(echo "$got") <(echo "$want") | xargs)]" \
    "beyond, and lacks [$(comm -13 <(echo "$got") <(echo "$want") | xargs)]"
}

mkdir -p "$work/files/d" && touch "$work/files/"{a.glb,b.txt,c.STL,e.Png,f.bmp,g.fbx,h.mesh.xml}
expect --format -- corvath-render --fo
expect png bmp -- corvath-render --format ''
expect --mesh -- corvath-render --me
expect -- corvath-render --size ''
expect a.glb c.STL d/ g.fbx h.mesh.xml -- corvath ''
expect a.glb c.STL d/ g.fbx h.mesh.xml -- corvath-render --out x.png --mesh ''
expect d/ e.Png f.bmp -- corvath-render --out ''
expect --watch -- corvath --w
expect a.glb -- corvath --watch a
expect -- corvath --help ''
expect a.glb c.STL d/ g.fbx h.mesh.xml -- corvath-convert --frame ''
expect a.glb c.STL d/ -- corvath-convert g.fbx ''
expect -- corvath-convert g.fbx a.glb ''
expect --fit --frame -- corvath-convert a.glb --f
expect --fit --frame --help --list-formats --version -- corvath-convert --
expect -- corvath-convert --list-formats ''

# Every extension the converter lists, in capitals: offered where it reads, and where it writes
# exactly those it writes.
if [ -n "$convert" ]; then
  rm -rf "$work/files" && mkdir "$work/files"
  formats=$("$convert" --list-formats) || fail "--list-formats is not exit 0"
  read=$(sed -n '/^read/,/^written/{s/^  \.\([^ ]*\).*/M.\1/p}' <<<"$formats" | tr a-z A-Z)
  written=$(sed -n '/^written/,${s/^  \.\([^ ]*\).*/M.\1/p}' <<<"$formats" | tr a-z A-Z)
  [ -n "$read" ] && [ -n "$written" ] || fail "no formats in --list-formats"
  for name in $read; do touch "$work/files/$name"; done
  expect $read -- corvath ''
  expect $read -- corvath-render --mesh ''
  expect $read -- corvath-convert ''
  expect $written -- corvath-convert M.OBJ ''
fi
exit $failed
