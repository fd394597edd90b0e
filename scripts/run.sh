#!/usr/bin/env bash
# Installs what is missing, builds, and runs the service on the bundled example
# forwarder configuration, with its database in ./data. A demo machine has no
# packet forwarder unit, so none is restarted after a save (an empty unit name
# restarts nothing); a later --forwarderUnitServiceName argument overrides that.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=OFF
cmake --build build/release
mkdir -p data
[ -f data/global_conf.json ] || cp examples/global_conf.json data/global_conf.json
echo "Demo mode: no packet forwarder unit, so saving the configuration restarts nothing"
echo "Open http://127.0.0.1:9992/ui (or the port given with --port); first login: admin / qzvtk"
exec build/release/nodeconsole --forwarderConfigPath data/global_conf.json --dataPath data/nodeconsole.sqlite3 \
  --forwarderUnitServiceName= "$@"
