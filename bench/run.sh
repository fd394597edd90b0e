#!/usr/bin/env bash
# Loads a Release build of nodeconsole and, in the same run, nginx (one
# worker), lighttpd and h2o (one thread) serving the same bytes, with wrk -t1;
# the servers are pinned to core 0 and wrk to core 1. Six rows: GET /health,
# the web UI's index.html and its largest file (uncompressed), each at 1 and at
# 50 kept-alive connections.
#
# Protocol: RUNS rounds of SECONDS seconds per server and row; each round
# takes the servers in another order (rotated by one), so that a drift in the
# machine's load does not fall on one server. Before the rounds, 2 s of
# unmeasured load per server and path. The figure is requests per server
# CPU-second: wrk's requests divided by the utime + stime that the server's
# processes gained during the run (/proc/PID/stat). The median of the rounds is
# printed per server, with requests/s, the server's CPU share and wrk's p99
# latency, and the ratio of nodeconsole's figure to each peer's and to the best
# peer's.
#
# With BASELINE set to another build's binary (say, of the commit before a
# change), that build runs as a fifth server, "baseline", in the same rounds:
# a before-and-after comparison in one sitting. It is not a peer.
#
# ROWS picks rows by number, 1 to 6 in the order above (default all), for a
# quicker look at one path; a full sitting runs them all.
#
# Usage: [BASELINE=binary] [ROWS="5 6"] bench/run.sh [seconds per run, default 4] [rounds, default 3]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-4}
rounds=${2:-3}
wrkCore=1
work=""

source bench/common.sh
source bench/servers.sh
trap cleanUpServers EXIT
serverPrefix=(taskset -c 0)

# One run of wrk against the server $1 (port and pids in the tables below);
# prints "requests/s CPU-share requests-per-CPU-second p99-in-ms".
measureRun() {
  local server=$1 connections=$2 path=$3 before after start end report
  local -a pids
  read -ra pids <<< "${serverPidsOf[$server]}"
  before=$(cpuTicks "${pids[@]}")
  start=$(date +%s%N)
  report=$(timeout $((seconds + 20)) taskset -c "$wrkCore" wrk -t1 -c"$connections" -d"${seconds}s" --timeout 2s --latency \
    "http://127.0.0.1:${portOf[$server]}$path")
  end=$(date +%s%N)
  after=$(cpuTicks "${pids[@]}")
  if grep -qE 'Non-2xx|Socket errors' <<< "$report"; then
    echo "$server, $path, $connections connections: $(grep -E 'Non-2xx|Socket errors' <<< "$report")" >&2
  fi
  awk -v r="$(awk '/ requests in / { print $1 }' <<< "$report")" -v t=$((after - before)) -v hz="$ticksPerSecond" \
    -v ns=$((end - start)) -v p99="$(p99Of "$report")" \
    'BEGIN { cpu = t / hz; s = ns / 1e9
      printf "%.0f %.1f %.0f %s\n", r / s, 100 * cpu / s, (cpu > 0 ? r / cpu : 0), p99 }'
}

# The median of the numbers given, one per line.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

scripts/install-deps.sh bench
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=OFF > /dev/null
cmake --build build/bench -j2 > /dev/null

work=$(mktemp -d)
servers=(nodeconsole nginx lighttpd h2o)
if [ -n "${BASELINE:-}" ]; then servers+=(baseline); fi
declare -A portOf serverPidsOf
read -ra ports < <(freePorts ${#servers[@]})
for i in "${!servers[@]}"; do
  server=${servers[$i]}
  portOf[$server]=${ports[$i]}
  case $server in
    nodeconsole) startNodeconsole "${ports[$i]}"; copyServedFiles "${ports[$i]}" ;;
    nginx) startNginxPeer "${ports[$i]}" ;;
    lighttpd) startLighttpd "${ports[$i]}" ;;
    h2o) startH2o "${ports[$i]}" ;;
    baseline) startNodeconsole "${ports[$i]}" "$BASELINE" ;;
  esac
  serverPidsOf[$server]="${serverPids[*]}"
done
for server in "${servers[@]:1}"; do
  for path in /health /ui/index.html "$largest"; do
    servesSameBytes "${portOf[$server]}" "$path" || { echo "$server does not serve $path as nodeconsole does" >&2; exit 1; }
  done
done

# Unmeasured warm-up: first-touch page faults, lazy symbol binding and cold
# caches would otherwise land in the first measured run only.
for server in "${servers[@]}"; do
  for path in /health /ui/index.html "$largest"; do
    taskset -c "$wrkCore" wrk -t1 -c50 -d2s "http://127.0.0.1:${portOf[$server]}$path" > /dev/null
  done
done

echo "$rounds rounds of ${seconds} s per server and row, servers on core 0, wrk -t1 on core $wrkCore;" \
  "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
allRows=("/health 1" "/health 50" "/ui/index.html 1" "/ui/index.html 50" "$largest 1" "$largest 50")
for number in ${ROWS:-1 2 3 4 5 6}; do
  row=${allRows[$((number - 1))]}
  read -r path connections <<< "$row"
  declare -A results=()
  for round in $(seq 0 $((rounds - 1))); do
    for i in "${!servers[@]}"; do
      server=${servers[$(((i + round) % ${#servers[@]}))]}
      results[$server]+="$(measureRun "$server" "$connections" "$path")"$'\n'
    done
  done
  echo
  echo "GET $path ($(stat -c %s "$work/www${path/#\/health//health.json}") bytes), $connections connection(s), medians:"
  printf '  %-12s %12s %11s %15s %14s %9s\n' server requests/s "server CPU" requests/CPU-s "nodeconsole/it" "p99 (ms)"
  ours=$(awk 'NF { print $3 }' <<< "${results[nodeconsole]}" | median)
  best=0 bestServer=""
  for server in "${servers[@]}"; do
    perCpu=$(awk 'NF { print $3 }' <<< "${results[$server]}" | median)
    printf '  %-12s %12s %10s%% %15s %14s %9s\n' "$server" "$(awk 'NF { print $1 }' <<< "${results[$server]}" | median)" \
      "$(awk 'NF { print $2 }' <<< "${results[$server]}" | median)" "$perCpu" \
      "$([ "$server" = nodeconsole ] && echo - || ratio "$ours" "$perCpu")" \
      "$(awk 'NF { print $4 }' <<< "${results[$server]}" | median)"
    if [ "$server" != nodeconsole ] && [ "$server" != baseline ] && awk -v a="$perCpu" -v b="$best" 'BEGIN { exit !(a > b) }'; then
      best=$perCpu bestServer=$server
    fi
  done
  echo "  against the best peer ($bestServer): $(ratio "$ours" "$best")"
done
