#!/usr/bin/env bash
# Runs the load test of `econtract serve` by hand (not part of ctest).
#
#   bench/serve_load.sh BUILD_DIR [CONFIG] [-- bench_serve_load options]
#
# Without CONFIG a fresh SQLite folder is set up (econtract init, examples/suite.json).
# With CONFIG (for example one that names a PostgreSQL contract database, its suite data
# loaded) that configuration is used as it stands. Either way a key is created for the run,
# a server is started on a free loopback port, the load runs, the server is stopped with
# SIGTERM and the key is revoked. BUILD_DIR needs bench_serve_load (ECONTRACT_BENCH=ON).
set -euo pipefail
build=$(cd "$1" && pwd)
shift
src=$(cd "$(dirname "$0")/.." && pwd)
config=""
if [ $# -gt 0 ] && [ "$1" != "--" ]; then config=$(realpath "$1"); shift; fi
[ "${1:-}" = "--" ] && shift

work=$(mktemp -d /tmp/econtract-load-XXXXXX)
trap 'kill "${server:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT
if [ -z "$config" ]; then
  "$build/econtract" init --dir "$work/data" >/dev/null
  config="$work/data/econtract.json"
  "$build/econtract" --config "$config" suite load "$src/examples/suite.json" >/dev/null
fi
name="load-test-$$"
key=$("$build/econtract" --config "$config" apikey create "$name" --allow '*' 2>/dev/null)
"$build/econtract" --config "$config" serve --listen 127.0.0.1:0 >"$work/serve.out" 2>"$work/serve.err" &
server=$!
for _ in $(seq 100); do grep -q listening "$work/serve.out" 2>/dev/null && break; sleep 0.1; done
cat "$work/serve.out"
url=$(sed -n 's/.*listening on \(http[^ ]*\) .*/\1/p' "$work/serve.out")
status=0
"$build/bench_serve_load" --url "$url" --key "$key" --config "$config" "$@" || status=$?
kill -TERM "$server"
wait "$server" || status=$?
"$build/econtract" --config "$config" apikey revoke "$name" >/dev/null
exit $status
