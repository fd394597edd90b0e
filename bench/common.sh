# Helpers the benchmark scripts share; sourced, not run. The measuring ones
# read the caller's seconds, serverCore, wrkCore and work folder.

# N distinct free loopback ports (default 1), all held while they are chosen.
freePorts() {
  python3 -c '
import socket, sys
held = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in held: s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in held))' "${1:-1}"
}

waitForPort() {
  local port=$1 tries
  for tries in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "nothing listens on port $port after 10 s" >&2
  return 1
}

ticksPerSecond=$(getconf CLK_TCK)
scheme=http
wrkOptions=()

# utime + stime of the given processes, in clock ticks. The command name in
# field 2 may hold spaces, so the fields are counted after its ")".
cpuTicks() {
  local pid stat fields total=0
  for pid in "$@"; do
    stat=$(< "/proc/$pid/stat")
    read -ra fields <<< "${stat##*) }"
    total=$((total + fields[11] + fields[12]))
  done
  echo "$total"
}

# One master and one worker; the master only watches, the worker serves. With
# $3 = single, one process that serves (for profilers). $1 names the run's
# folder, $2 is the server block; runs behind `serverPrefix` when the caller
# sets it, else on serverCore; sets serverPids.
startNginx() {
  local dir=$work/$1 server=$2 mode=${3:-} master worker tries
  local -a prefix=(taskset -c "${serverCore:-0}")
  if [ -n "${serverPrefix+set}" ]; then prefix=("${serverPrefix[@]}"); fi
  mkdir -p "$dir"
  cat > "$dir/nginx.conf" <<EOF
daemon off;
$([ "$mode" = single ] && echo "master_process off;")
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events {}
http {
  access_log off;
  client_body_temp_path $dir/body;
  proxy_temp_path $dir/proxy;
  fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi;
  scgi_temp_path $dir/scgi;
  # nodeconsole serves any number of requests on a connection; nginx's default
  # of 1000 would add reconnections to its side of the comparison.
  keepalive_requests 100000000;
  include /etc/nginx/mime.types;
  default_type application/json;
  $server
}
EOF
  "${prefix[@]}" nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" &
  master=$!
  pids+=("$master")
  serverPids=("$master")
  [ "$mode" != single ] || return 0
  for tries in $(seq 50); do
    worker=$(pgrep -P "$master" || true)
    if [ -n "$worker" ]; then
      serverPids=("$master" "$worker")
      return 0
    fi
    sleep 0.1
  done
  echo "nginx started no worker" >&2
  return 1
}

# wrk prints latencies as 130.00us, 1.20ms or 1.00s.
toMilliseconds() {
  awk -v t="$1" 'BEGIN {
    if (t ~ /us$/) printf "%.3f", t / 1000; else if (t ~ /ms$/) printf "%.3f", t + 0;
    else if (t ~ /s$/) printf "%.3f", t * 1000; else printf "?" }'
}

# wrk's 99th percentile latency in milliseconds, from a report made with --latency.
p99Of() { toMilliseconds "$(awk '$1 == "99%" { print $2 }' <<< "$1")"; }

# One line of results under tableHead, with the machine's 1-minute load
# average at its end (a shared machine's other work moves the figures):
# name, connections, per second, p99 (ms), server CPU share (%), per server CPU-second.
resultLine() {
  printf '%-12s %5s %12s %10s %9s%% %15s %6s\n' "$@" "$(cut -d' ' -f1 /proc/loadavg)"
}

# Prints one result line and sets perCpuSecond.
# wrk loads $scheme://127.0.0.1:PORT/PATH with the options in wrkOptions.
measure() {
  local name=$1 port=$2 connections=$3 path=$4
  shift 4
  local before after start end report requests p99 problems
  before=$(cpuTicks "$@")
  start=$(date +%s%N)
  report=$(timeout $((seconds + 20)) taskset -c "$wrkCore" wrk -t1 -c"$connections" -d"${seconds}s" --timeout 2s \
    --latency "${wrkOptions[@]}" "$scheme://127.0.0.1:$port$path")
  end=$(date +%s%N)
  after=$(cpuTicks "$@")
  requests=$(awk '/ requests in / { print $1 }' <<< "$report")
  p99=$(p99Of "$report")
  read -r requestsPerSecond cpuShare perCpuSecond < <(awk -v r="$requests" -v t=$((after - before)) \
    -v hz="$ticksPerSecond" -v ns=$((end - start)) -v rps="$(awk '/^Requests\/sec:/ { print $2 }' <<< "$report")" \
    'BEGIN { cpu = t / hz; printf "%.0f %.1f %.0f\n", rps, 100 * cpu / (ns / 1e9), (cpu > 0 ? r / cpu : 0) }')
  resultLine "$name" "$connections" "$requestsPerSecond" "$p99" "$cpuShare" "$perCpuSecond"
  problems=$(grep -E 'Non-2xx|Socket errors' <<< "$report" || true)
  if [ -n "$problems" ]; then echo "  $name: $problems" | tr -s ' '; fi
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
tableHead() {
  printf '%-12s %5s %12s %10s %10s %15s %6s\n' server conns requests/s "p99 (ms)" "server CPU" requests/CPU-s load
}
