#!/usr/bin/env bash
# Every option a program's --help names is in its manual page, spelled the same.
# Usage: manual_options.sh MAN_FOLDER PROGRAM...   (each page is MAN_FOLDER/NAME.1)
man_folder=$1 && shift && failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
for program in "$@"; do
  name=$(basename "$program") && page="$man_folder/$name.1"
  [ -f "$page" ] || { fail "$name has no manual page $page"; continue; }
  help=$("$program" --help) || { fail "$name --help is not exit 0"; continue; }
  # The options lines: the usage and the indented list; in them, --long and single-letter -x.
  options=$(grep -E '^(usage:|[[:space:]])' <<<"$help" |
    grep -oE '(^|[[:space:][|])--?[[:alnum:]][[:alnum:]-]*' | sed -E 's/^[[:space:][|]*//' |
    grep -E '^(--[[:alnum:]]|-[[:alnum:]]$)' | sort -u)
  [ -n "$options" ] || { fail "no options found in $name --help"; continue; }
  # The page's text with font changes left out and roff's \- read as a plain hyphen.
  text=$(sed -E 's/\\f(\([[:alnum:]]{2}|\[[^]]*\]|[[:alnum:]])//g; s/\\-/-/g' "$page")
  for option in $options; do
    grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|$)" <<<"$text" || fail "$page lacks $option"
  done
done
exit $failed
