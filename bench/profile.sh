#!/usr/bin/env bash
# Counts, for nodeconsole and the servers it is compared with (nginx, lighttpd,
# h2o, one process each, serving the same bytes), the work each does per
# request on the six rows of bench/run.sh: /health, index.html and the largest
# file, at 1 and at 50 kept-alive connections.
#  - Instructions per request: callgrind's count over REQUESTS requests,
#    its counters zeroed after a warm-up of a fifth as many (the server's
#    start-up excluded, its shutdown included, a few thousand instructions).
#  - System calls per request: strace -c attached to the running server over
#    one batch, calls divided by requests, and the three most frequent calls.
#  - The functions with most instructions (self cost) for nodeconsole and for
#    the row's leanest peer.
# The counts do not depend on the machine's load, unlike bench/run.sh's times.
# A server slowed by either tool finds more connections ready at each turn of
# its loop, so at 50 connections the per-request share of the loop's own calls
# (epoll_wait) is lower than at full speed.
#
# Usage: bench/profile.sh [requests, default 1000]
set -euo pipefail
cd "$(dirname "$0")/.."

requests=${1:-1000}
warmUp=$((requests / 5))
work=""

source bench/common.sh
source bench/servers.sh
trap cleanUpServers EXIT

# Starts server $1 on port $2 behind `serverPrefix`, one process.
start() {
  case $1 in
    nginx) startNginxPeer "$2" single ;;
    *) "start${1^}" "$2" ;;
  esac
}

# Callgrind's instructions per request for server $1 serving $2 at $3
# connections; the profile stays in $work/$1.callgrind.
instructionsFor() {
  local server=$1 path=$2 connections=$3 port
  port=$(freePorts)
  serverPrefix=(valgrind -q --tool=callgrind --compress-strings=no --callgrind-out-file="$work/$server.callgrind")
  start "$server" "$port"
  python3 bench/fixed_requests.py "$port" "$path" "$connections" "$warmUp" > /dev/null
  callgrind_control --zero "${serverPids[0]}" > /dev/null 2>&1
  python3 bench/fixed_requests.py "$port" "$path" "$connections" "$requests" > /dev/null
  stopServer "${serverPids[@]}"
  serverPids=()
  awk -v n="$requests" '/^(summary|totals):/ { printf "%d", $2 / n; exit }' "$work/$server.callgrind"
}

# "calls per request, the three most frequent calls" for server $1.
systemCallsFor() {
  local server=$1 path=$2 connections=$3 port tracer
  port=$(freePorts)
  serverPrefix=()
  start "$server" "$port"
  strace -f -c -p "${serverPids[0]}" -o "$work/strace.txt" 2> /dev/null &
  tracer=$!
  sleep 1
  python3 bench/fixed_requests.py "$port" "$path" "$connections" "$requests" > /dev/null
  kill -INT "$tracer"
  wait "$tracer" || true
  stopServer "${serverPids[@]}"
  serverPids=()
  # strace -c: "% time, seconds, usecs/call, calls, [errors,] syscall", then a total.
  awk -v n="$requests" '
    $NF == "total" { total = $4 }
    $NF != "total" && $1 ~ /^[0-9.]+$/ { calls[$NF] = $4 }
    END {
      printf "%.1f", total / n
      for (k = 0; k < 3; k++) {
        best = ""; for (c in calls) if (best == "" || calls[c] > calls[best]) best = c
        if (best == "") break
        printf "%s %s %.2f", (k ? "," : ";"), best, calls[best] / n; delete calls[best]
      }
    }' "$work/strace.txt"
}

topFunctions() { python3 bench/callgrind_top.py "$work/$1.callgrind"; }

scripts/install-deps.sh bench
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=OFF > /dev/null
cmake --build build/bench -j2 > /dev/null

work=$(mktemp -d)
port=$(freePorts)
startNodeconsole "$port"
copyServedFiles "$port"
stopServer "${serverPids[@]}"
serverPids=()

servers=(nodeconsole nginx lighttpd h2o)
for server in "${servers[@]:1}"; do
  port=$(freePorts)
  start "$server" "$port"
  for path in /health /ui/index.html "$largest"; do
    servesSameBytes "$port" "$path" || { echo "$server does not serve $path as nodeconsole does" >&2; exit 1; }
  done
  stopServer "${serverPids[@]}"
  serverPids=()
done

echo "Per request, over $requests requests after $warmUp unmeasured; the largest file is $largest"
for row in "/health 1" "/health 50" "/ui/index.html 1" "/ui/index.html 50" "$largest 1" "$largest 50"; do
  read -r path connections <<< "$row"
  echo
  echo "GET $path, $connections connection(s)"
  printf '  %-12s %14s %14s  %s\n' server instructions "system calls" "most frequent calls"
  leanest="" leanestCount=0
  for server in "${servers[@]}"; do
    perRequest=$(instructionsFor "$server" "$path" "$connections")
    IFS=';' read -r calls frequent <<< "$(systemCallsFor "$server" "$path" "$connections")"
    printf '  %-12s %14s %14s  %s\n' "$server" "$perRequest" "$calls" "$frequent"
    if [ "$server" != nodeconsole ] && { [ -z "$leanest" ] || [ "$perRequest" -lt "$leanestCount" ]; }; then
      leanest=$server leanestCount=$perRequest
    fi
  done
  for server in nodeconsole "$leanest"; do
    echo "  top functions, $server (share of its instructions):"
    topFunctions "$server"
  done
done
