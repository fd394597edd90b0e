#!/usr/bin/env bash
# Debian's testssl.sh against a Release build of nodeconsole speaking HTTPS on
# a free loopback port, with the pair it makes on its first start in a
# temporary folder, its web UI's page as the URL (a compressed reply, for the
# BREACH check). No DNS look-up, no other address. Prints testssl's report;
# bench/README.md says which findings are expected and why.
#
# Usage: bench/tls_scan.sh [REPORT FILE, default build/bench/testssl.txt]
set -euo pipefail
cd "$(dirname "$0")/.."
report=${1:-build/bench/testssl.txt}
work=""
servicePid=""
stopService() {
  if [ -n "$servicePid" ]; then kill "$servicePid" 2>/dev/null || true; wait "$servicePid" 2>/dev/null || true; fi
  if [ -n "$work" ]; then rm -rf "$work"; fi
}
trap stopService EXIT
source bench/common.sh

scripts/install-deps.sh bench
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=OFF > /dev/null
cmake --build build/bench -j2 --target nodeconsole > /dev/null

work=$(mktemp -d)
port=$(freePorts 1)
echo '{}' > "$work/global_conf.json"
build/bench/nodeconsole --listen 127.0.0.1 --port "$port" --forwarderConfigPath "$work/global_conf.json" \
  --dataPath "$work/nodeconsole.sqlite3" --tlsCertificate "$work/certificate.pem" --tlsKey "$work/key.pem" \
  > "$work/nodeconsole.log" &
servicePid=$!
waitForPort "$port"
mkdir -p "$(dirname "$report")"
# testssl's own status is not zero once it flags anything, even the findings
# expected here; the report, not the status, is what this script gives.
status=0
testssl --quiet --color 0 --warnings off --nodns none --ip 127.0.0.1 --openssl-timeout 10 \
  "https://localhost:$port/ui/" | tee "$report" || status=$?
echo "testssl ended with status $status; its report is in $report"
