# The servers the benchmarks compare, started the same way for a timed run and
# for a profile; sourced after common.sh, not run. Each start function runs its server in the
# foreground of a background job, behind the command in `serverPrefix` (for
# example `taskset -c 0`, or valgrind), and sets `serverPids` to the processes
# whose CPU time is the server's. `work` names the run's folder, which the
# caller removes. nodeconsole serves /health and its own files; the others
# serve the folder `$work/www` that `copyServedFiles` fills with the same bytes.
serverPrefix=()
pids=()
serverPids=()

# $2: another build of the service to start instead, for a before-and-after
# comparison; it keeps its own database and log.
startNodeconsole() {
  local port=$1 binary=${2:-build/bench/nodeconsole} name
  name=$(basename "$binary")-$port
  echo '{}' > "$work/global_conf.json"
  "${serverPrefix[@]}" "$binary" --listen 127.0.0.1 --port "$port" \
    --forwarderConfigPath "$work/global_conf.json" --dataPath "$work/$name.sqlite3" > "$work/$name.log" &
  serverPids=("$!")
  pids+=("$!")
  waitForPort "$port"
}

# The body of GET <path> over HTTP/1.0, which all servers close after replying.
httpBody() {
  local port=$1 path=$2
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  printf 'GET %s HTTP/1.0\r\n\r\n' "$path" >&3
  timeout 5 cat <&3 | sed '1,/^\r$/d'
  exec 3<&-
}

# Copies, from nodeconsole on $1, /health's body, index.html and the largest
# file of the build (the console's chunk, which index.html does not name: the
# entry script loads it), as nodeconsole sends them uncompressed, into
# $work/www; sets `largest` to the largest file's path.
copyServedFiles() {
  local port=$1 file asset size largestSize=0
  # nginx's worker drops root for nobody, who must reach the folder.
  chmod 755 "$work"
  mkdir -p "$work/www/ui/assets"
  httpBody "$port" /health > "$work/www/health.json"
  httpBody "$port" /ui/ > "$work/www/ui/index.html"
  for file in build/bench/ui/dist/assets/*.js build/bench/ui/dist/assets/*.css; do
    asset=/ui/assets/$(basename "$file")
    httpBody "$port" "$asset" > "$work/www$asset"
    size=$(stat -c %s "$work/www$asset")
    if [ "$size" -gt "$largestSize" ]; then largest=$asset largestSize=$size; fi
  done
}

# nginx serving the files with sendfile as Debian configures it, and /health
# with `return 200` and the same body; $2 = single for one process.
startNginxPeer() {
  local port=$1
  startNginx nginx "sendfile on; tcp_nopush on;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    location = /health { return 200 '$(cat "$work/www/health.json")'; }
  }" "${2:-}"
  waitForPort "$port"
}

# lighttpd, one process, its defaults but for the keep-alive limit; /health is
# the file of the same body.
startLighttpd() {
  local port=$1 dir=$work/lighttpd
  mkdir -p "$dir"
  cat > "$dir/lighttpd.conf" <<EOF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$dir/error.log"
server.modules += ("mod_rewrite")
server.max-keep-alive-requests = 100000000
url.rewrite-once = ("^/health\$" => "/health.json")
mimetype.assign = (".html" => "text/html", ".js" => "text/javascript", ".css" => "text/css",
                   ".json" => "application/json")
EOF
  "${serverPrefix[@]}" lighttpd -D -f "$dir/lighttpd.conf" &
  serverPids=("$!")
  pids+=("$!")
  waitForPort "$port"
}

# h2o with one thread, serving the folder; /health is the file of the same body.
startH2o() {
  local port=$1 dir=$work/h2o
  mkdir -p "$dir"
  cat > "$dir/h2o.conf" <<EOF
num-threads: 1
# Kept as root, so that a profiler inside can write its output at exit.
user: root
error-log: $dir/error.log
hosts:
  default:
    listen:
      host: 127.0.0.1
      port: $port
    paths:
      /health:
        file.file: $work/www/health.json
      /:
        file.dir: $work/www
EOF
  "${serverPrefix[@]}" h2o -c "$dir/h2o.conf" > /dev/null 2>&1 &
  serverPids=("$!")
  pids+=("$!")
  waitForPort "$port"
}

# Whether the server on $1 sends the same bytes for $2 as nodeconsole.
servesSameBytes() {
  cmp -s <(httpBody "$1" "$2") <(if [ "$2" = /health ]; then cat "$work/www/health.json"; else cat "$work/www$2"; fi)
}

# Stops every server started (all are listed in `pids`) and removes `work`;
# the scripts' exit trap.
cleanUpServers() {
  stopServer "${pids[@]}"
  if [ -n "$work" ]; then rm -rf "$work"; fi
}

stopServer() {
  local pid
  for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
  for pid in "$@"; do wait "$pid" 2>/dev/null || true; done
}
