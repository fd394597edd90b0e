#!/usr/bin/env bash
# Installs the amd64 package into this running system and takes it out again:
# dpkg -i, then checks the files, the conffile, the unit (systemd-analyze
# verify, enabled for multi-user.target) and that no system account was added;
# runs --help and the man page; starts the program by hand with the unit's
# command line and the options file's settings (on a free port), checks the
# HTTPS pair it made (modes, the fingerprint it printed), /health and a login
# against the new database over HTTPS with that certificate as the only CA, the
# redirect of a request in clear, and a start-up failure's status; then dpkg -r
# (database and options kept) and dpkg -P (both gone).
# It changes this system: run it as root on a build or test machine. systemd is
# not the init system here, so the unit is verified, not started.
#   scripts/install-test.sh [PACKAGE.deb]
set -euo pipefail
cd "$(dirname "$0")/.."
deb=${1:-}
if [ -z "$deb" ]; then
  scripts/package.sh amd64
  deb=$(ls build/packages/nodeconsole_*_amd64.deb)
fi
if dpkg-query -W -f='${db:Status-Status}' nodeconsole 2>/dev/null | grep -q installed; then
  echo "nodeconsole is already installed here; this test installs and purges it, so it stops" >&2
  exit 1
fi

unit=/lib/systemd/system/nodeconsole.service
passes=0 failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok   $what"; passes=$((passes + 1)); else echo "FAIL $what"; failures=$((failures + 1)); fi
}
accounts() { cut -d: -f1 /etc/passwd /etc/group | sort; }
serverPid=
cleanUp() {
  [ -z "$serverPid" ] || kill "$serverPid" 2>/dev/null || true
  dpkg -P nodeconsole >/dev/null 2>&1 || true
}
trap cleanUp EXIT

accountsBefore=$(accounts)
dpkg -i "$deb"
check "the package is installed" dpkg-query -W nodeconsole
for file in /usr/bin/nodeconsole $unit /etc/default/nodeconsole /usr/share/man/man8/nodeconsole.8.gz \
            /usr/share/doc/nodeconsole/copyright /usr/share/doc/nodeconsole/changelog.gz; do
  check "$file is installed" test -f "$file"
done
check "the program is executable" test -x /usr/bin/nodeconsole
isConffile() { dpkg-query -W -f='${Conffiles}' nodeconsole | grep -q "^ $1 "; }
check "/etc/default/nodeconsole is a conffile" isConffile /etc/default/nodeconsole
check "the unit is enabled for multi-user.target" \
  test "$(readlink /etc/systemd/system/multi-user.target.wants/nodeconsole.service)" = "$unit"
verify=$(systemd-analyze verify "$unit" 2>&1) || true
check "systemd-analyze verify reports nothing${verify:+: $verify}" test -z "$verify"
check "no system account or group was added" test "$(accounts)" = "$accountsBefore"
helpListsOptions() { /usr/bin/nodeconsole --help | grep -q -- --forwarderUnitServiceName; }
check "--help lists the options" helpListsOptions
manPageRenders() { MANWIDTH=80 man --warnings nodeconsole 2>&1 | grep -q 'EXIT STATUS'; }
check "man nodeconsole renders" manPageRenders

# The unit's command line with its defaults, the options file over them (as
# systemd reads it), and a free port so that a running demo does not collide.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p -m 0700 /var/lib/nodeconsole  # what StateDirectory= does
commandLine=$(sed -n 's/^ExecStart=//p' "$unit")
(
  set -a
  eval "$(sed -n 's/^Environment=//p' "$unit")"
  . /etc/default/nodeconsole
  NODECONSOLE_PORT=$port
  eval "set -- $commandLine"
  cd /var/lib/nodeconsole
  exec "$@" > /tmp/nodeconsole-install-test.out 2>&1
) &
serverPid=$!
for _ in $(seq 100); do
  grep -q '^Listening ' /tmp/nodeconsole-install-test.out 2>/dev/null && \
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
  sleep 0.1
done
check "it starts and prints the listening line, on every interface" grep -qx "Listening :$port" /tmp/nodeconsole-install-test.out
tls=/var/lib/nodeconsole/tls
check "the HTTPS key is made with mode 0600" test "$(stat -c %a $tls/key.pem 2>&1)" = 600
printedFingerprint() { sed -n 's/^TLS certificate SHA-256 fingerprint //p' /tmp/nodeconsole-install-test.out; }
fileFingerprint() { openssl x509 -noout -fingerprint -sha256 -in $tls/certificate.pem | sed 's/^.*=//'; }
check "the printed fingerprint is the certificate's" test -n "$(fileFingerprint)" -a "$(printedFingerprint)" = "$(fileFingerprint)"
# HTTPS to the name the certificate was made for, trusting it alone.
request() {
  curl -sS --max-time 5 --cacert $tls/certificate.pem -w ' %{http_code}' ${2:+--data-binary "$2"} \
    "https://localhost:$port$1"
}
healthAnswers() { request /health | grep -q '^{"gcc":.* 200$'; }
check "/health answers 200 over HTTPS" healthAnswers
firstLoginWorks() {
  request /rpc/v1/login/password "{\"username\":\"admin\",\"password\":\"$(head -1 /var/lib/nodeconsole/initial-password)\"}" |
    grep -q '^{"output":{"auth":.* 200$'
}
factoryLoginRefused() {
  request /rpc/v1/login/password '{"username":"admin","password":"qzvtk"}' | grep -q ' 403$'
}
check "the install wrote a random first password, readable by root alone" \
  test "$(stat -c %a /var/lib/nodeconsole/initial-password 2>&1)" = 600
check "the first login works with it over HTTPS" firstLoginWorks
check "the factory password opens nothing" factoryLoginRefused
clearIsRedirected() {
  curl -sS --max-time 5 -o /dev/null -w '%{http_code} %{redirect_url}' "http://localhost:$port/ui" |
    grep -qx "308 https://localhost:$port/ui"
}
check "a request in clear is redirected to HTTPS" clearIsRedirected
check "the database is in /var/lib/nodeconsole" test -f /var/lib/nodeconsole/nodeconsole.sqlite3
second=0
/usr/bin/nodeconsole --port "$port" --dataPath /var/lib/nodeconsole/nodeconsole.sqlite3 > /dev/null || second=$?
check "a second instance on the taken port ends with status 1" test "$second" = 1
kill "$serverPid"
wait "$serverPid" 2>/dev/null || true
serverPid=

dpkg -r nodeconsole
check "remove takes the program" test ! -e /usr/bin/nodeconsole
check "remove keeps the database" test -f /var/lib/nodeconsole/nodeconsole.sqlite3
check "remove keeps the options file" test -f /etc/default/nodeconsole
dpkg -P nodeconsole
check "purge deletes the database folder" test ! -e /var/lib/nodeconsole
check "purge deletes the options file" test ! -e /etc/default/nodeconsole
check "purge forgets the unit's enablement" test ! -e /etc/systemd/system/multi-user.target.wants/nodeconsole.service
check "purge leaves no trace in dpkg" bash -c "! dpkg-query -W nodeconsole 2>/dev/null"
rm -f /tmp/nodeconsole-install-test.out

echo "$passes passed, $failures failed"
[ $failures = 0 ]
