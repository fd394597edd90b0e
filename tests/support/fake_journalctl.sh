#!/bin/sh
# A stand-in for journalctl, placed first on PATH by the tests. It plays the
# lines of "entries" beside it, each an entry as `journalctl --output=json`
# prints it with cursors c1, c2, ..., the way journalctl treats the options
# the service gives: --after-cursor=C gives those after C (an unknown cursor
# fails as journalctl's does), --lines=N the first N after the cursor, else the
# last N. --since is recorded and not applied.
#   calls       the arguments of each call, a line each
#   flood       a number of bytes: the entries are played over and over until
#               that many are out, then flood-done is written
dir=$(dirname "$0")
echo "$*" >> "$dir/calls"
cursor=
lines=
for arg; do
  case $arg in
    --after-cursor=*) cursor=${arg#--after-cursor=} ;;
    --lines=*) lines=${arg#--lines=} ;;
  esac
done
touch "$dir/entries"
if [ -f "$dir/flood" ]; then
  awk -v bytes="$(cat "$dir/flood")" '{ line[n++] = $0 }
    END { while (sent < bytes) for (i = 0; i < n && sent < bytes; i++) { print line[i]; sent += length(line[i]) + 1 } }' \
    "$dir/entries"
  echo done > "$dir/flood-done"
  exit 0
fi
if [ -n "$cursor" ]; then
  if ! grep -q "\"__CURSOR\":\"$cursor\"" "$dir/entries"; then
    echo "Failed to seek to cursor: Invalid argument" >&2
    exit 1
  fi
  awk -v c="\"__CURSOR\":\"$cursor\"" 'found { print } index($0, c) { found = 1 }' "$dir/entries" |
    if [ -n "$lines" ]; then head -n "$lines"; else cat; fi
elif [ -n "$lines" ]; then
  tail -n "$lines" "$dir/entries"
else
  cat "$dir/entries"
fi
