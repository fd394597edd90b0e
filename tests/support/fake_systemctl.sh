#!/bin/sh
# A stand-in for systemctl, placed first on PATH by the tests. It keeps a small
# state machine per unit in files beside it, so that `show` answers what the
# earlier commands did:
#   log, queries         "begin ARGS" / "end ARGS" of each command / of each show
#   ignoreterm-VERB      every VERB, and what it runs, ignores SIGTERM
#   sleep-VERB           seconds every VERB sleeps first
#   stdout-VERB, stderr-VERB  what every VERB then prints on each stream
#   signal-VERB          signal that ends every VERB
#   exit-VERB            status every VERB ends with
#   units/UNIT/state     "ACTIVE SUB SINCE_MS"; none: inactive, dead, never changed
#   units/UNIT/restarts  NRestarts; a manual start sets it back to 0
#   units/UNIT/enabled   UnitFileState (default enabled)
#   units/UNIT/unknown   the unit does not exist
#   units/UNIT/failing-restarts  how many of the next starts leave it failed
#   units/UNIT/fail-after        ms after the next start when it fails ...
#   units/UNIT/auto-restart      ... and systemd restarts it at once, every
#                                fail-after ms again (a crash loop)
#   units/UNIT/period            that interval, kept for the crash loop
#   units/UNIT/fail-at           when the running unit fails next, in ms
dir=$(dirname "$0")
verb=$1
unit=$2
if [ "$verb" = show ]; then journal="$dir/queries"; else journal="$dir/log"; fi
echo "begin $*" >> "$journal"
if [ -f "$dir/ignoreterm-$verb" ]; then trap '' TERM; fi
if [ -f "$dir/sleep-$verb" ]; then sleep "$(cat "$dir/sleep-$verb")"; fi
if [ -f "$dir/stdout-$verb" ]; then cat "$dir/stdout-$verb"; fi
if [ -f "$dir/stderr-$verb" ]; then cat "$dir/stderr-$verb" >&2; fi
echo "end $*" >> "$journal"
if [ -f "$dir/signal-$verb" ]; then kill -"$(cat "$dir/signal-$verb")" $$; fi
if [ -f "$dir/exit-$verb" ]; then exit "$(cat "$dir/exit-$verb")"; fi

u="$dir/units/$(printf '%s' "$unit" | tr '/' '_')"
mkdir -p "$u"
now=$(( $(date +%s%N) / 1000000 ))
case $unit in *.*) id=$unit ;; *) id=$unit.service ;; esac

read_file() { if [ -f "$1" ]; then cat "$1"; else echo "$2"; fi; }
set_state() { echo "$1 $2 $3" > "$u/state"; }

start_unit() {
  failing=$(read_file "$u/failing-restarts" 0)
  if [ "$failing" -gt 0 ]; then
    echo $((failing - 1)) > "$u/failing-restarts"
    set_state failed exit-code "$now"
    echo "Job for $id failed because the control process exited with error code." >&2
    echo "See \"systemctl status $id\" and \"journalctl -xeu $id\" for details." >&2
    exit 1
  fi
  set_state active running "$now"
  echo 0 > "$u/restarts"
  rm -f "$u/fail-at"
  if [ -f "$u/fail-after" ]; then
    cp "$u/fail-after" "$u/period"
    echo $((now + $(cat "$u/fail-after"))) > "$u/fail-at"
    rm -f "$u/fail-after"
  fi
}

# A unit due to fail has failed by now, or has been restarted by systemd as
# often as its crash loop took.
settle() {
  [ -f "$u/fail-at" ] || return 0
  at=$(cat "$u/fail-at")
  [ "$now" -ge "$at" ] || return 0
  if [ -f "$u/auto-restart" ]; then
    period=$(cat "$u/period")
    crashes=$(((now - at) / period + 1))
    echo $(($(read_file "$u/restarts" 0) + crashes)) > "$u/restarts"
    echo $((at + crashes * period)) > "$u/fail-at"
    set_state active running $((at + (crashes - 1) * period))
  else
    rm -f "$u/fail-at"
    set_state failed exit-code "$at"
  fi
}

show_unit() {
  if [ -f "$u/unknown" ]; then
    printf 'Id=%s\nLoadState=not-found\nActiveState=inactive\nSubState=dead\nStateChangeTimestamp=\nUnitFileState=\nNRestarts=0\n' "$id"
    return
  fi
  settle
  set -- $(read_file "$u/state" "inactive dead")
  since=
  if [ -n "$3" ]; then since=$(date -u -d "@$(($3 / 1000))" '+%a %Y-%m-%d %H:%M:%S UTC'); fi
  printf 'Id=%s\nLoadState=loaded\nActiveState=%s\nSubState=%s\nStateChangeTimestamp=%s\n' "$id" "$1" "$2" "$since"
  printf 'UnitFileState=%s\nNRestarts=%s\n' "$(read_file "$u/enabled" enabled)" "$(read_file "$u/restarts" 0)"
}

case $verb in
  restart | start) start_unit ;;
  stop) set_state inactive dead "$now"; rm -f "$u/fail-at" ;;
  enable) echo enabled > "$u/enabled" ;;
  disable) echo disabled > "$u/enabled" ;;
  show) show_unit ;;
esac
exit 0
