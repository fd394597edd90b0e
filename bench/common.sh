# Helpers the benchmark scripts share; sourced, not run.

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
