#!/usr/bin/env bash
# Attacks the login of a Release build of nodeconsole as a password guesser
# would, and prints how many passwords the service actually checked, the p99
# of GET /health for another client meanwhile, and the service's memory:
#   1. one address, 8 connections sending wrong logins back to back;
#   2. 1000 addresses of 127.0.0.0/8, one connection each.
# The service runs on core 0, the attacker (bench/login_flood.cpp) on core 1.
#
# Usage: bench/login_attack.sh [seconds per run, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
serverCore=0
clientCore=1
work=""
servicePid=""

stopService() {
  if [ -n "$servicePid" ]; then
    kill "$servicePid" 2>/dev/null || true
    wait "$servicePid" 2>/dev/null || true
  fi
  if [ -n "$work" ]; then rm -rf "$work"; fi
}
trap stopService EXIT

source bench/common.sh

memoryOf() {
  awk '/^(VmRSS|VmHWM):/ { printf "%s %s kB  ", $1, $2 }' "/proc/$1/status"
}

# A fresh service for each run, so that no lock carries over.
run() {
  local title=$1 connections=$2 sources=$3 port
  port=$(freePorts)
  echo '{}' > "$work/global_conf.json"
  rm -f "$work/nodeconsole.sqlite3"
  taskset -c "$serverCore" build/bench/nodeconsole --listen 127.0.0.1 --port "$port" \
    --forwarderConfigPath "$work/global_conf.json" --dataPath "$work/nodeconsole.sqlite3" > "$work/service.log" &
  servicePid=$!
  waitForPort "$port"
  echo "== $title: $connections connections from $sources address(es), $seconds s"
  echo "memory before: $(memoryOf "$servicePid")"
  taskset -c "$clientCore" "$work/login_flood" "$port" "$seconds" "$connections" "$sources"
  echo "memory after:  $(memoryOf "$servicePid")"
  echo "lines printed: $(grep -c 'login \(still \)\?refused' "$work/service.log" || true) refusals," \
    "$(grep -c 'login locked' "$work/service.log" || true) locks," \
    "$(grep -c 'login lines held back' "$work/service.log" || true) held-back counts"
  kill "$servicePid"
  wait "$servicePid" 2>/dev/null || true
  servicePid=""
}

scripts/install-deps.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=OFF > /dev/null
cmake --build build/bench -j2 > /dev/null
work=$(mktemp -d)
asioInclude=$(dirname "$(find /usr/include -maxdepth 2 -name asio.hpp | head -1)")
g++ -std=c++20 -O2 -DASIO_STANDALONE -I"$asioInclude" bench/login_flood.cpp -o "$work/login_flood"
# A thousand connections, and the service's own descriptors besides.
ulimit -n "$(ulimit -Hn)"

run "one attacker" 8 1
run "many addresses" 1000 1000
