#!/usr/bin/env bash
# Every option a program's --help names is in its manual page (MAN_FOLDER/NAME.1), spelled the
# same. Usage: manual_options.sh MAN_FOLDER PROGRAM...
man_folder=$1 && shift && failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
for program in "$@"; do
  name=$(basename "$program") && page="$man_folder/$name.1"
  help=$("$program" --help) && [ -f "$page" ] ||
    { fail "$name: no manual page $page, or --help is not exit 0"; continue; }
  options=$(grep -E '^(usage:|[[:space:]])' <<<"$help" |
    grep -oE '(^|[[:space:][|])--?[[:alnum:]][[:alnum:]-]*' | sed -E 's/^[[:space:][|]*//' |
    grep -E '^(--[[:alnum:]]|-[[:alnum:]]$)' | sort -u)
  [ -n "$options" ] || { fail "no options found in $name --help"; continue; }
  text=$(sed -E 's/\\f(\([[:alnum:]]{2}|\[[^]]*\]|[[:alnum:]])//g; s/\\-/-/g' "$page")
  for option in $options; do
    grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|$)" <<<"$text" || fail "$page lacks $option"
  done
done
exit $failed
