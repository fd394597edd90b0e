#!/usr/bin/env bash
# Loads a Release build of nodeconsole and, in the same run, nginx and
# lighttpd serving the same bytes, with wrk; the servers are pinned to core 0
# and wrk to core 1. First GET /health against nginx at 1 and at 50
# connections; then, at 50 connections, the web UI's index.html and its
# largest file, uncompressed, against nginx and lighttpd serving copies of the
# two files from disk with their usual static-file settings. Prints
# requests/s, the p99 latency, the server's CPU share and requests per server
# CPU-second, and the ratios of the last. The per-CPU-second figure is the one
# to compare: on two cores wrk saturates its own core before a fast server does.
#
# Usage: bench/run.sh [seconds per run, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
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

# The body of GET <path> over HTTP/1.0, which both servers close after replying.
httpBody() {
  local port=$1 path=$2
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  printf 'GET %s HTTP/1.0\r\n\r\n' "$path" >&3
  timeout 5 cat <&3 | sed '1,/^\r$/d'
  exec 3<&-
}

startNodeconsole() {
  local port=$1
  echo '{}' > "$work/global_conf.json"
  taskset -c "$serverCore" build/bench/nodeconsole --listen 127.0.0.1 --port "$port" \
    --forwarderConfigPath "$work/global_conf.json" --dataPath "$work/nodeconsole.sqlite3" > "$work/nodeconsole.log" &
  nodeconsolePid=$!
  pids+=("$nodeconsolePid")
  waitForPort "$port"
}

# One process serving files from a folder, with its defaults but for the
# keep-alive limit; sets serverPids.
startLighttpd() {
  local port=$1 root=$2 dir=$work/lighttpd
  mkdir -p "$dir"
  cat > "$dir/lighttpd.conf" <<EOF
server.document-root = "$root"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$dir/error.log"
server.max-keep-alive-requests = 100000000
mimetype.assign = (".html" => "text/html", ".js" => "text/javascript", ".css" => "text/css")
EOF
  taskset -c "$serverCore" lighttpd -D -f "$dir/lighttpd.conf" &
  serverPids=("$!")
  pids+=("$!")
  waitForPort "$port"
}

scripts/install-deps.sh bench
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=OFF > /dev/null
cmake --build build/bench -j2 > /dev/null

work=$(mktemp -d)
read -r nodeconsolePort nginxPort nginxFilesPort lighttpdPort < <(freePorts 4)
startNodeconsole "$nodeconsolePort"
body=$(httpBody "$nodeconsolePort" /health)
startNginx nginx-health "server { listen 127.0.0.1:$nginxPort; return 200 '$body'; }"
nginxPids=("${serverPids[@]}")
waitForPort "$nginxPort"
nginxBody=$(httpBody "$nginxPort" /health)
if [ "$body" != "$nginxBody" ]; then
  echo "the bodies differ: nodeconsole '$body', nginx '$nginxBody'" >&2
  exit 1
fi

# The static files: index.html and the largest file of the build (the
# console's chunk, which index.html does not name: the entry script loads it),
# as nodeconsole sends them uncompressed, copied into a folder that the others
# serve as files, nginx as Debian's own configuration does.
# nginx's worker drops root for nobody, who must reach the folder.
chmod 755 "$work"
mkdir -p "$work/www/ui/assets"
httpBody "$nodeconsolePort" /ui/ > "$work/www/ui/index.html"
largest="" largestSize=0
for file in build/bench/ui/dist/assets/*.js build/bench/ui/dist/assets/*.css; do
  asset=/ui/assets/$(basename "$file")
  httpBody "$nodeconsolePort" "$asset" > "$work/www$asset"
  size=$(stat -c %s "$work/www$asset")
  if [ "$size" -gt "$largestSize" ]; then largest=$asset largestSize=$size; fi
done
startNginx nginx-files "sendfile on; tcp_nopush on; server { listen 127.0.0.1:$nginxFilesPort; root $work/www; }"
nginxFilesPids=("${serverPids[@]}")
waitForPort "$nginxFilesPort"
startLighttpd "$lighttpdPort" "$work/www"
lighttpdPids=("${serverPids[@]}")
for path in /ui/index.html "$largest"; do
  for port in "$nginxFilesPort" "$lighttpdPort"; do
    if ! cmp -s <(httpBody "$port" "$path") "$work/www$path"; then
      echo "port $port does not serve $path as nodeconsole does" >&2
      exit 1
    fi
  done
done

# Unmeasured warm-up: first-touch page faults, lazy symbol binding and cold
# caches would otherwise land in the first measured run only.
for port in "$nodeconsolePort" "$nginxPort"; do
  taskset -c "$wrkCore" wrk -t1 -c50 -d2s "http://127.0.0.1:$port/health" > /dev/null
done
for port in "$nodeconsolePort" "$nginxFilesPort" "$lighttpdPort"; do
  taskset -c "$wrkCore" wrk -t1 -c50 -d2s "http://127.0.0.1:$port$largest" > /dev/null
done

echo "GET /health ($body), ${seconds} s per run, servers on core $serverCore, wrk on core $wrkCore"
tableHead
ratios=()
for connections in 1 50; do
  measure nodeconsole "$nodeconsolePort" "$connections" /health "$nodeconsolePid"
  ours=$perCpuSecond
  measure nginx "$nginxPort" "$connections" /health "${nginxPids[@]}"
  ratios+=("$(ratio "$ours" "$perCpuSecond")")
done
echo "nodeconsole/nginx requests per CPU-second: ${ratios[0]} at 1 connection, ${ratios[1]} at 50 connections"

for path in /ui/index.html "$largest"; do
  echo
  echo "GET $path ($(stat -c %s "$work/www$path") bytes, uncompressed), 50 connections"
  tableHead
  measure nodeconsole "$nodeconsolePort" 50 "$path" "$nodeconsolePid"
  ours=$perCpuSecond
  measure nginx "$nginxFilesPort" 50 "$path" "${nginxFilesPids[@]}"
  toNginx=$(ratio "$ours" "$perCpuSecond")
  measure lighttpd "$lighttpdPort" 50 "$path" "${lighttpdPids[@]}"
  toLighttpd=$(ratio "$ours" "$perCpuSecond")
  echo "nodeconsole requests per CPU-second: ${toNginx}x nginx's, ${toLighttpd}x lighttpd's"
done
