#!/usr/bin/env bash
# nodeconsole over HTTPS against nginx over HTTPS, in the same run: one nginx
# worker serving the same bytes with the same certificate (the pair the service
# makes on its first start), the same protocol versions, cipher list and
# order, key exchange groups, session tickets and no session cache. Servers on core 0,
# wrk on core 1, as bench/run.sh does and with its helpers. Each round loads,
# in turn and with the servers' order swapped from one round to the next:
# GET /health kept alive at 1 and at 50 connections, GET /health with a new
# TLS connection per request at 50 connections (wrk offers each connection's
# session to the next, so where the server hands out a fresh ticket each time,
# every handshake resumes: a new X25519 exchange, no certificate or
# signature), the largest file of the web UI, uncompressed, kept alive at
# 50 connections, and full handshakes one after another (openssl s_time -new:
# no session offered, so each carries the certificate and an ECDSA signature).
# Prints requests per server CPU-second with the load average beside each
# line, the ratios nodeconsole/nginx per round, and whether kernel TLS is
# there to engage.
#
# With BASELINE set to another build's binary (say, of the commit before a
# change), that build serves the same pair as a third server, first in odd
# rounds and last in even ones, and its ratio is printed too; on the large
# file only if it serves that file byte for byte (a build of another web UI
# names its files otherwise).
#
# Usage: [BASELINE=binary] bench/tls_run.sh [seconds per run, default 10] [rounds, default 2]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
rounds=${2:-2}
serverCore=0
wrkCore=1
work=""
pids=()

stopServers() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "$work" ]; then rm -rf "$work"; fi
}
trap stopServers EXIT

source bench/common.sh
scheme=https

# The body of an HTTPS GET, trusting only the pair both servers serve.
httpsBody() { curl -sS --max-time 5 --cacert "$work/tls/certificate.pem" "https://localhost:$1$2"; }

scripts/install-deps.sh bench
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=OFF > /dev/null
cmake --build build/bench -j2 --target nodeconsole > /dev/null

work=$(mktemp -d)
# nginx's worker drops root for nobody, who must reach the files it serves.
chmod 755 "$work"
read -r nodeconsolePort nginxPort baselinePort < <(freePorts 3)
echo '{}' > "$work/global_conf.json"
taskset -c "$serverCore" build/bench/nodeconsole --listen 127.0.0.1 --port "$nodeconsolePort" \
  --forwarderConfigPath "$work/global_conf.json" --dataPath "$work/nodeconsole.sqlite3" \
  --tlsCertificate "$work/tls/certificate.pem" --tlsKey "$work/tls/key.pem" > "$work/nodeconsole.log" &
nodeconsolePid=$!
pids+=("$nodeconsolePid")
waitForPort "$nodeconsolePort"
body=$(httpsBody "$nodeconsolePort" /health)
# Another build, say of the commit before a change, on the same pair.
if [ -n "${BASELINE:-}" ]; then
  taskset -c "$serverCore" "$BASELINE" --listen 127.0.0.1 --port "$baselinePort" \
    --forwarderConfigPath "$work/global_conf.json" --dataPath "$work/baseline.sqlite3" \
    --tlsCertificate "$work/tls/certificate.pem" --tlsKey "$work/tls/key.pem" > "$work/baseline.log" &
  baselinePid=$!
  pids+=("$baselinePid")
  waitForPort "$baselinePort"
fi

largest="" largestSize=0
for file in build/bench/ui/dist/assets/*.js; do
  size=$(stat -c %s "$file")
  if [ "$size" -gt "$largestSize" ]; then largest=/ui/assets/$(basename "$file") largestSize=$size; fi
done
mkdir -p "$work/www/ui/assets"
httpsBody "$nodeconsolePort" "$largest" > "$work/www$largest"
baselineServesLargest=no
if [ -n "${BASELINE:-}" ] && cmp -s <(httpsBody "$baselinePort" "$largest") "$work/www$largest"; then
  baselineServesLargest=yes
fi

# The cipher list, its order and the groups are the service's own
# (transport/tls_context.cpp).
startNginx nginx-tls "sendfile on; tcp_nopush on;
  server {
    listen 127.0.0.1:$nginxPort ssl;
    ssl_certificate $work/tls/certificate.pem;
    ssl_certificate_key $work/tls/key.pem;
    ssl_protocols TLSv1.2 TLSv1.3;
    ssl_ciphers ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305:DHE-RSA-AES128-GCM-SHA256:DHE-RSA-AES256-GCM-SHA384:DHE-RSA-CHACHA20-POLY1305;
    ssl_ecdh_curve X25519:prime256v1:secp384r1;
    ssl_prefer_server_ciphers on;
    ssl_conf_command Options PrioritizeChaCha;
    ssl_session_tickets on;
    ssl_session_cache off;
    ssl_session_timeout 1h;
    root $work/www;
    location = /health { return 200 '$body'; }
  }"
nginxPids=("${serverPids[@]}")
waitForPort "$nginxPort"
if [ "$(httpsBody "$nginxPort" /health)" != "$body" ] || ! cmp -s <(httpsBody "$nginxPort" "$largest") "$work/www$largest"; then
  echo "nginx does not serve /health and $largest as nodeconsole does" >&2
  exit 1
fi

# Unmeasured warm-up, as in bench/run.sh.
for port in "$nodeconsolePort" "$nginxPort" ${BASELINE:+"$baselinePort"}; do
  taskset -c "$wrkCore" wrk -t1 -c50 -d2s "https://127.0.0.1:$port/health" > /dev/null
  taskset -c "$wrkCore" wrk -t1 -c50 -d2s "https://127.0.0.1:$port$largest" > /dev/null
done

# Full handshakes one after another, in place of wrk: openssl s_time -new
# offers no session, so each handshake is a full one. Prints a result line as
# measure does (the p99 column empty) and sets perCpuSecond to handshakes per
# server CPU-second.
measureHandshakes() {
  local name=$1 port=$2 connections=$3
  shift 4
  local before after start end report handshakes
  before=$(cpuTicks "$@")
  start=$(date +%s%N)
  report=$(timeout $((seconds + 20)) taskset -c "$wrkCore" openssl s_time -connect "127.0.0.1:$port" -new \
    -time "$seconds" 2>&1 || true)
  end=$(date +%s%N)
  after=$(cpuTicks "$@")
  handshakes=$(awk '/ connections in .* real seconds/ { print $1; exit }' <<< "$report")
  read -r perSecond cpuShare perCpuSecond < <(awk -v n="${handshakes:-0}" -v t=$((after - before)) \
    -v hz="$ticksPerSecond" -v ns=$((end - start)) \
    'BEGIN { cpu = t / hz; s = ns / 1e9; printf "%.0f %.1f %.0f\n", n / s, 100 * cpu / s, (cpu > 0 ? n / cpu : 0) }')
  resultLine "$name" "$connections" "$perSecond" - "$cpuShare" "$perCpuSecond"
}

# One case, both servers, in the order of the round; prints the ratio.
# `measurer` (measure unless set) loads the servers.
compare() {
  local round=$1 connections=$2 path=$3 ours theirs
  shift 3
  wrkOptions=("$@")
  local baseline="" measure=${measurer:-measure} withBaseline=${BASELINE:-}
  if [ "$path" = "$largest" ] && [ "$baselineServesLargest" = no ]; then withBaseline=""; fi
  # The baseline goes first in odd rounds and last in even ones.
  if [ -n "$withBaseline" ] && [ $((round % 2)) = 1 ]; then
    $measure baseline "$baselinePort" "$connections" "$path" "$baselinePid"
    baseline=$perCpuSecond
  fi
  if [ $((round % 2)) = 1 ]; then
    $measure nodeconsole "$nodeconsolePort" "$connections" "$path" "$nodeconsolePid"
    ours=$perCpuSecond
    $measure nginx "$nginxPort" "$connections" "$path" "${nginxPids[@]}"
    theirs=$perCpuSecond
  else
    $measure nginx "$nginxPort" "$connections" "$path" "${nginxPids[@]}"
    theirs=$perCpuSecond
    $measure nodeconsole "$nodeconsolePort" "$connections" "$path" "$nodeconsolePid"
    ours=$perCpuSecond
  fi
  echo "  nodeconsole/nginx per server CPU-second: $(ratio "$ours" "$theirs")"
  if [ -n "$withBaseline" ]; then
    if [ -z "$baseline" ]; then
      $measure baseline "$baselinePort" "$connections" "$path" "$baselinePid"
      baseline=$perCpuSecond
    fi
    echo "  nodeconsole/baseline per server CPU-second: $(ratio "$ours" "$baseline")"
  fi
}

echo "HTTPS, $(openssl version), ${seconds} s per run, servers on core $serverCore, wrk on core $wrkCore"
echo "$largest: $largestSize bytes, uncompressed"
if [ -e /proc/net/tls_stat ]; then
  echo "kernel TLS module loaded; /proc/net/tls_stat:"
  cat /proc/net/tls_stat
else
  echo "kernel TLS: not available (no /proc/net/tls_stat); both servers encrypt in user space"
fi
for round in $(seq "$rounds"); do
  echo
  echo "round $round"
  tableHead
  echo "GET /health, kept alive"
  compare "$round" 1 /health
  compare "$round" 50 /health
  echo "GET /health, a new TLS connection per request"
  compare "$round" 50 /health -H "Connection: close"
  echo "GET $largest, kept alive"
  compare "$round" 50 "$largest"
  echo "full TLS handshakes, one connection after another (openssl s_time -new)"
  measurer=measureHandshakes compare "$round" 1 /
done
